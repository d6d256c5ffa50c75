#include "resetbtn/resetbtn.h"

#include <fcntl.h>
#include <getopt.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/console.h"
#include "platform/eventloop.h"
#include "platform/gpio.h"
#include "platform/nvram.h"
#include "platform/router_root.h"

namespace {

constexpr char kDevice[] = "/dev/gpio/in";
constexpr int kRestoreOp = 2;
constexpr int kRestoreLines = 4;

}  // namespace

int resetbtn_options(int argc, char **argv) {
    optind = 1;
    opterr = 0;
    int c;
    while ((c = getopt(argc, argv, "d")) != -1) {
        if (c != 'd') {
            printf("ok");
            fflush(stdout);
            return 1;
        }
    }
    if (optind < argc) {
        printf("ok");
        fflush(stdout);
        return 1;
    }
    return 0;
}

int gpio_open(void) {
    RouterPath path(kDevice);
    if (!path.ok()) return -1;
    int fd = open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    if (register_fd_desc(fd, resetbtn_button, nullptr) < 0) {
        close(fd);
        return -1;
    }
    return fd;
}

void resetbtn_restore(void) {
    int r = nvram_set("restore_defaults", "1");
    if (r < 0) console_printf("resetbtn: restore_defaults: %s\n", strerror(-r));
    r = nvram_commit();
    if (r < 0) console_printf("resetbtn: nvram commit: %s\n", strerror(-r));
    for (int line = 0; line < kRestoreLines; ++line)
        if (gpioctl(kRestoreOp, line, 1) < 0)
            console_printf("resetbtn: gpio line %d: %s\n", line, strerror(errno));
}

int resetbtn_button(struct fd_desc *desc) {
    // Everything the driver has is one press: a device that stays readable must not commit
    // nvram (a flash write) over and over.
    char buf[64];
    bool pressed = false;
    ssize_t n;
    while ((n = read(desc->fd, buf, sizeof buf)) > 0)
        pressed = true;
    int err = n < 0 ? errno : 0;
    if (pressed) {
        resetbtn_restore();
        return 0;
    }
    if (n < 0 && err == EINTR) return 0;
    console_printf("resetbtn: %s readable with nothing to read (%s); no longer watched\n", kDevice,
                   n == 0 ? "end of file" : strerror(err));
    (void)unregister_fd_desc(desc->fd);  // it was registered: this handler runs for it
    close(desc->fd);
    return -1;
}
