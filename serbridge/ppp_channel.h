// PPP channels: a terminal bound to a channel descriptor from which one read gives one PPP
// frame (starting with its two-byte protocol number; no address, control, check bytes or
// flags) and to which one write sends one. While bound, the terminal itself never becomes
// readable. Two implementations:
//   kernel  the PPP line discipline and a "/dev/ppp" channel (the default);
//   hdlc    the same done in user space (ppp_hdlc.cpp), for hosts without kernel PPP;
//           chosen with SERBRIDGE_PPP_CHANNEL=hdlc.
// Main thread.
#pragma once

#include "serbridge/bridge.h"

struct ppp_channel_ops {
    const char *name;
    // A new, unbound channel descriptor, or -1 (logged).
    int (*open_channel)(bridge_ctx *ctx);
    // Binds terminal `tty` to channel `chan`: 0, or -1 (logged; `chan` is left to the caller).
    int (*establish)(bridge_ctx *ctx, int tty, int chan);
    // Unbinds; the terminal is back in its normal use. 0, or -1 (logged).
    int (*disestablish)(bridge_ctx *ctx, int tty, int chan);
};

extern const ppp_channel_ops kernel_ppp_channel;
// The kernel channel's steps: the terminal into (out of) the PPP discipline and the "/dev/ppp"
// descriptor attached to (detached from) its channel.
[[nodiscard]] int tty_establish_ppp(bridge_ctx *ctx, int tty, int chan);
[[nodiscard]] int tty_disestablish_ppp(bridge_ctx *ctx, int tty, int chan);
extern const ppp_channel_ops hdlc_ppp_channel;

// Picks the implementation from SERBRIDGE_PPP_CHANNEL ("kernel" or unset, "hdlc"). Returns 0,
// or -1 for an unknown name (the kernel channel stays chosen).
[[nodiscard]] int ppp_channel_select(void);
const ppp_channel_ops *ppp_channel(void);
// Makes `ops` the implementation (tests: a channel of their own); nullptr: the kernel one.
void ppp_channel_use(const ppp_channel_ops *ops);

// Binds `tty` to a new channel and returns its descriptor (non-blocking), or -1.
[[nodiscard]] int open_ppp(bridge_ctx *ctx, int tty);
// Unbinds and closes the channel, whatever the unbinding gives. Returns 0.
int close_ppp(bridge_ctx *ctx, int tty, int chan);
// Makes the channel descriptor non-blocking.
void set_up_ppp(int chan);
