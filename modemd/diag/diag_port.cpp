#include "modemd/diag/diag_port.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "modemd/diag/diag_status.h"
#include "platform/console.h"

namespace {

void log_failure(const char *path, const char *step) {
    console_printf("diag port %s: %s: %s\n", path, step, strerror(errno));
}

}  // namespace

int diag_open_status(int err) {
    switch (err) {
        case ENOENT:
            return kLoaderPortNotFound;
        case EACCES:
        case EROFS:
            return kLoaderPortNoAccess;
        case EBUSY:
            return kLoaderPortBusy;
        default:
            return kLoaderOpenFailed;
    }
}

int diag_port_open(const char *path, termios *saved, bool *saved_valid) {
    int fd = open(path, O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return -diag_open_status(errno);

    if (fcntl(fd, F_SETFL, 0) < 0) log_failure(path, "blocking mode");
    *saved_valid = tcgetattr(fd, saved) == 0;
    if (!*saved_valid) log_failure(path, "tcgetattr");
    termios tio{};
    tio.c_iflag = IGNPAR;
    tio.c_oflag = 0;
    tio.c_lflag = 0;
    tio.c_cflag = CRTSCTS | CREAD | CLOCAL | CS8;  // 8 data bits, 1 stop bit, no parity
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (cfsetispeed(&tio, B115200) < 0 || cfsetospeed(&tio, B115200) < 0)
        log_failure(path, "speed");
    if (tcflush(fd, TCIFLUSH) < 0) log_failure(path, "tcflush");
    if (tcsetattr(fd, TCSANOW, &tio) < 0) log_failure(path, "tcsetattr");
    if (tcsetattr(fd, TCSAFLUSH, &tio) < 0) log_failure(path, "tcsetattr flush");
    return fd;
}

void diag_port_close(int fd, const termios *saved, bool saved_valid) {
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags & ~O_ASYNC);
    if (saved_valid) tcsetattr(fd, TCSANOW, saved);
    close(fd);
}
