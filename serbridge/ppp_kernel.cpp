// The kernel PPP channel: the terminal switched to the PPP line discipline, and a "/dev/ppp"
// descriptor attached to the terminal's channel.
#include <fcntl.h>
#include <linux/ppp-ioctl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "platform/router_root.h"
#include "serbridge/log.h"
#include "serbridge/ppp_channel.h"

#ifndef N_PPP
#define N_PPP 3
#endif
#ifndef N_TTY
#define N_TTY 0
#endif

int tty_establish_ppp(bridge_ctx *ctx, int tty, int chan) {
    int ldisc = N_PPP;
    if (ioctl(tty, TIOCSETD, &ldisc) < 0) {
        poe_error(ctx, "Couldn't set tty to PPP discipline: %m");
        return -1;
    }
    int unit = 0;
    if (ioctl(tty, PPPIOCGCHAN, &unit) < 0) {
        poe_error(ctx, "Couldn't get channel number: %m");
        return -1;
    }
    if (ioctl(chan, PPPIOCATTCHAN, &unit) < 0) {
        poe_error(ctx, "Couldn't attach to channel %d: %m", unit);
        return -1;
    }
    return 0;
}

int tty_disestablish_ppp(bridge_ctx *ctx, int tty, int chan) {
    int unit = 0;
    if (ioctl(tty, PPPIOCGCHAN, &unit) < 0) {
        poe_error(ctx, "Couldn't get channel number: %m");
        return -1;
    }
    if (ioctl(chan, PPPIOCDETACH) < 0) {
        poe_error(ctx, "Couldn't attach to channel %m");
        return -1;
    }
    int ldisc = N_TTY;
    if (ioctl(tty, TIOCSETD, &ldisc) < 0) {
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
