#include "serbridge/ppp_channel.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "serbridge/log.h"

namespace {

const ppp_channel_ops *g_ops = &kernel_ppp_channel;

}  // namespace

int ppp_channel_select(void) {
    const char *name = getenv("SERBRIDGE_PPP_CHANNEL");
    g_ops = &kernel_ppp_channel;
    if (!name || !*name || std::strcmp(name, "kernel") == 0) return 0;
    if (std::strcmp(name, "hdlc") == 0) {
        g_ops = &hdlc_ppp_channel;
        return 0;
    }
    return -1;
}

const ppp_channel_ops *ppp_channel(void) {
    return g_ops;
}

void ppp_channel_use(const ppp_channel_ops *ops) {
    g_ops = ops ? ops : &kernel_ppp_channel;
}

void set_up_ppp(int chan) {
    int flags = fcntl(chan, F_GETFL);
    if (flags == -1 || fcntl(chan, F_SETFL, flags | O_NONBLOCK) == -1)
        poe_warn(nullptr, "Couldn't set /dev/ppp (channel) to nonblock: %m");
}

int open_ppp(bridge_ctx *ctx, int tty) {
    int chan = g_ops->open_channel(ctx);
    if (chan < 0) return -1;
    set_up_ppp(chan);
    if (g_ops->establish(ctx, tty, chan) < 0) {
        close(chan);
        return -1;
    }
    return chan;
}

int close_ppp(bridge_ctx *ctx, int tty, int chan) {
    g_ops->disestablish(ctx, tty, chan);
    close(chan);
    return 0;
}
