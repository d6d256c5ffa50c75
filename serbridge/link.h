// The end of a link, and what the bridge does when a terminal or a channel goes away under it
// (the peer closed the line): the link is taken down as a Terminate would, and a serial
// terminal that cannot be reopened ends the program. Main thread.
#pragma once

#include "serbridge/bridge.h"

// After a Terminate exchange: a second's pause, the modem down, both timers off and, unless
// -a, the serial side back to the AT phase.
void end_link(bridge_ctx *ctx);

// True when a read result says the descriptor is gone (0 bytes, or an error other than
// "try again" or "interrupted"), rather than nothing to read just now.
[[nodiscard]] bool read_says_gone(int n);

// The modem's channel reported end of data: the host gets the bridge's Terminate-Request, the
// link ends.
void modem_lost(bridge_ctx *ctx);

// The serial terminal or its channel reported end of data: the modem gets the bridge's
// Terminate-Request, the link ends, and the serial terminal is reopened and set up again (the
// AT phase, or with -a the PPP phase). When it cannot be reopened, or is still hung up, the
// program ends with status 1.
void serial_lost(bridge_ctx *ctx);
