// The kernel PPP channel: the terminal switched to the PPP line discipline, and a "/dev/ppp"
// descriptor attached to the terminal's channel.
#include <fcntl.h>
#include <linux/ppp-ioctl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/router_root.h"
#include "serbridge/log.h"
#include "serbridge/ppp_channel.h"
#include "serbridge/ppp_kernel_testing.h"

#ifndef N_PPP
#define N_PPP 3
#endif
#ifndef N_TTY
#define N_TTY 0
#endif

namespace {

int real_ioctl(int fd, unsigned long request, void *arg) {
    return ioctl(fd, request, arg);
}

ppp_ioctl_fn g_ioctl = real_ioctl;

}  // namespace

void ppp_kernel_testing_ioctl(ppp_ioctl_fn fn) {
    g_ioctl = fn ? fn : real_ioctl;
}

int tty_establish_ppp(bridge_ctx *ctx, int tty, int chan) {
    int ldisc = N_PPP;
    if (g_ioctl(tty, TIOCSETD, &ldisc) < 0) {
        poe_error(ctx, "Couldn't set tty to PPP discipline: %m");
        return -1;
    }
    int unit = 0;
    if (g_ioctl(tty, PPPIOCGCHAN, &unit) < 0) {
        poe_error(ctx, "Couldn't get channel number: %m");
        return -1;
    }
    if (g_ioctl(chan, PPPIOCATTCHAN, &unit) < 0) {
        poe_error(ctx, "Couldn't attach to channel %d: %m", unit);
        return -1;
    }
    return 0;
}

// Current Linux kernels refuse PPPIOCDETACH with EINVAL (the channel is detached when its
// descriptor is closed, and unregistered when the terminal leaves the PPP discipline). Taken
// as a failure, it kept the terminal in N_PPP for good: the serial line never came back to
// the AT phase after a link. So EINVAL goes on to the discipline switch; other errors stop.
int tty_disestablish_ppp(bridge_ctx *ctx, int tty, int chan) {
    int unit = 0;
    if (g_ioctl(tty, PPPIOCGCHAN, &unit) < 0) {
        poe_error(ctx, "Couldn't get channel number: %m");
        return -1;
    }
    if (g_ioctl(chan, PPPIOCDETACH, nullptr) < 0 && errno != EINVAL) {
        poe_error(ctx, "Couldn't attach to channel %m");
        return -1;
    }
    int ldisc = N_TTY;
    if (g_ioctl(tty, TIOCSETD, &ldisc) < 0) {
        poe_error(ctx, "Couldn't set tty back to normal discipline: %m");
        return -1;
    }
    return 0;
}

namespace {

int kernel_open_channel(bridge_ctx *ctx) {
    RouterPath path("/dev/ppp");
    int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) poe_error(ctx, "Couldn't reopen /dev/ppp: %m");
    return fd < 0 ? -1 : fd;
}

}  // namespace

const ppp_channel_ops kernel_ppp_channel = {"kernel", kernel_open_channel, tty_establish_ppp,
                                            tty_disestablish_ppp};
