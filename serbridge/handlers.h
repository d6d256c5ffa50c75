// What the bridge hands to the event loop: the descriptor handlers of the AT phase and of the
// frame relay, and the two supervision timers with their callbacks. Each receives the one
// `bridge_ctx`; a handler called without a record or without a context ends the program with
// status 0. Main thread.
#pragma once

#include "platform/eventloop.h"
#include "serbridge/bridge.h"

// AT phase: the serial terminal in its normal discipline (at_phase.cpp).
[[nodiscard]] int serial_handler(struct fd_desc *desc);
// PPP phase: frames from the host and from the modem (relay.cpp). 0, or -1 when the read gave
// nothing.
[[nodiscard]] int serial_ppp_handler(struct fd_desc *desc);
[[nodiscard]] int modem_ppp_handler(struct fd_desc *desc);

// Host inactivity: `idle_secs` after the last host frame, ends the link (link.cpp).
extern struct event_timer termreq_event;
void termreq_func(void *ctx);
// Modem silence: 60 s after a host Configure-Request without a modem frame, redials.
extern struct event_timer timeout_event;
inline constexpr unsigned long kModemSilenceSecs = 60;
void timeout_func(void *ctx);
