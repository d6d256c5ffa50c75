// serbridge's command line: "adc:q:s:m:p:i:". Main thread, at start.
#pragma once

#include "serbridge/bridge.h"

// Fills `ctx` (zeroed by the caller) from the options; the speed defaults to 115200. Returns
// 0, or -1 for an unknown option (logged "Unknown option '%c'") or when -s, -m, -c or -q is
// missing or empty. Texts longer than their field are cut, keeping the terminating NUL.
[[nodiscard]] int parse_options(bridge_ctx *ctx, int argc, char **argv);
