#include "modemd/modem_port.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "modemd/port_capture.h"
#include "platform/console.h"
#include "platform/eventloop.h"

namespace {

int g_fd = -1;
bool g_lost;
char g_path[256];

}  // namespace

int modem_port_open(const char *path) {
    int fd = open(path, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return -1;
    termios tio;
    if (isatty(fd) && tcgetattr(fd, &tio) == 0) {
        cfmakeraw(&tio);
        tio.c_cc[VMIN] = 1;
        tio.c_cc[VTIME] = 0;
        tcsetattr(fd, TCSANOW, &tio);
    }
    g_fd = fd;
    g_lost = false;
    snprintf(g_path, sizeof g_path, "%s", path);
    return fd;
}

bool modem_port_ok(int fd) {
    return fd >= 0 && !(g_lost && fd == g_fd);
}

ssize_t modem_port_read(int fd, void *buf, size_t cap) {
    if (!modem_port_ok(fd)) {
        errno = EIO;
        return -1;
    }
    ssize_t n = read(fd, buf, cap);
    if (n > 0) {
        port_capture_received(static_cast<const uint8_t *>(buf), static_cast<size_t>(n));
        return n;
    }
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return -1;
    int err = errno;
    modem_port_lost(fd, n == 0 ? "end of file" : strerror(err));
    errno = n == 0 ? EIO : err;
    return -1;
}

void modem_port_lost(int fd, const char *why) {
    if (fd != g_fd || g_lost) return;
    g_lost = true;
    (void)unregister_fd_desc(fd);  // harmless when it was never watched
    console_printf(
        "modemd: card port %s is gone (%s): no longer watching it, commands needing the "
        "card fail\n",
        g_path, why);
}
