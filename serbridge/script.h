// The connect and disconnect scripts: shell commands run through "/bin/sh" with the modem
// terminal as standard input and output and "/tmp/ppp/serbridge-errors" as standard error,
// started through the seam (env_spawn in platform/env.h). The waits have no time limit and block
// the event loop. Main thread.
#pragma once

#include "serbridge/bridge.h"

// Runs `command`. Returns 0 when it ended with status 0 (or at once with `dont_wait`), else -1.
[[nodiscard]] int device_script(bridge_ctx *ctx, const char *command, int in, int out,
                                int dont_wait);

// The connect script on the modem terminal: 0 on success, else -1.
[[nodiscard]] int modem_connect(bridge_ctx *ctx);

// The disconnect script on the modem terminal; its outcome is ignored. Returns 0.
int modem_disconnect(bridge_ctx *ctx);
