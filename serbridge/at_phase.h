// The AT phase: the host talks AT commands to the serial terminal until it dials. Lines are
// gathered across reads in `at_line`; "AT..." is answered "OK", "ATD..." brings the modem up,
// answers "CONNECT" and switches the serial side to PPP. Main thread.
#pragma once

#include <cstddef>
#include <cstdint>

#include "serbridge/bridge.h"

inline constexpr int kAtLineSize = 2000;
struct at_line_buf {
    char text[kAtLineSize];  // up to kAtLineSize - 1 characters and a NUL
    int len;
};
extern at_line_buf at_line;

// Takes the bytes of one read. Returns 0 when a complete line was handled, -1 otherwise.
int handle_at_input(bridge_ctx *ctx, const uint8_t *data, int len);

// The word (at most 124 characters) and CR LF, to the serial terminal.
void send_at_reply(int fd, const char *word);
