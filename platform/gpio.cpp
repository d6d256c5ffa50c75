#include "platform/gpio.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

#include "platform/router_root.h"

namespace {

int record_request(int op, int line, int value) {
    if (router_mkdirs("/dev/gpio") < 0) return -1;
    RouterPath ops("/dev/gpio/ops");
    if (!ops.ok()) return -1;
    int fd = open(ops.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return -1;
    char text[48];
    int n = snprintf(text, sizeof text, "%d %d %d\n", op, line, value);
    ssize_t w = write(fd, text, static_cast<size_t>(n));
    close(fd);
    return w == n ? 0 : -1;
}

}  // namespace

int gpioctl(int op, int line, int value) {
    if (router_root()) return record_request(op, line, value);
    int fd = open("/dev/gpio/ctl", O_RDWR | O_CLOEXEC);
    if (fd < 0) return -1;
    gpio_request req = {line, value};
    int r = ioctl(fd, static_cast<unsigned long>(op), &req);
    close(fd);
    return r < 0 ? -1 : 0;
}
