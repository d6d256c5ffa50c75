#include "platform/console.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/router_root.h"

int console_write(const char *text, size_t len) {
    RouterPath path("/dev/console");
    if (!path.ok()) return -1;
    // Under a router root the console is a plain file, created on first use.
    int flags = O_WRONLY | O_APPEND | O_NOCTTY | O_CLOEXEC | (router_root() ? O_CREAT : 0);
    int fd = open(path.c_str(), flags, 0644);
    if (fd < 0) return -1;
    ssize_t n = write(fd, text, len);
    close(fd);
    return n < 0 ? -1 : static_cast<int>(n);
}

int console_printf(const char *fmt, ...) {
    char buf[1024];
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    if (n < 0) return -1;
    size_t len = static_cast<size_t>(n) < sizeof buf ? static_cast<size_t>(n) : sizeof buf - 1;
    return console_write(buf, len);
}
