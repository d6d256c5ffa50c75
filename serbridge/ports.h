// The two ports of the bridge: the serial terminal towards the host (opened once, for the
// whole run) and the modem's data terminal (opened for each data call), with their PPP
// channels and the reads and writes of both. Main thread.
#pragma once

#include <cstddef>
#include <cstdint>

#include "serbridge/bridge.h"

inline constexpr int kFrameBuf = 2000;  // one read of a terminal or a channel

// Opens and sets up the serial terminal and registers it (with -a: its PPP channel). Returns
// the registered descriptor, or -1.
[[nodiscard]] int initSerialport(bridge_ctx *ctx);

// Opens the modem terminal at 115200 bit/s, runs the connect script (up to three attempts)
// and binds the terminal to a PPP channel. Returns the channel (above 0), or -1 when the
// terminal or the channel fails (the caller then runs finiModemport). After the third failed
// connect attempt it sets wan<N>_status to "bridged_fail" and ends the program (status 1).
[[nodiscard]] int initModemport(bridge_ctx *ctx);

// Unbinds the modem's channel, runs the disconnect script and closes the terminal. Nothing
// when the modem is down.
void finiModemport(bridge_ctx *ctx);

// Unbinds the serial terminal from its channel: back to the AT phase.
void resetSerial(bridge_ctx *ctx);

// One read of at most kFrameBuf bytes: the count (0 included), or -1.
[[nodiscard]] int recv_ppp(bridge_ctx *ctx, int fd, uint8_t *buf);
[[nodiscard]] int recv_serial(bridge_ctx *ctx, int fd, uint8_t *buf);

// Writes until all is written; a failed write ends the attempt silently.
void write_full(int fd, const uint8_t *data, size_t len);
