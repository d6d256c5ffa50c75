// Which WAN unit the bridge serves: the first wan<N>_ (N below "wan_maxentrys") whose protocol
// is "4" and whose device name is the modem terminal. Reads nvram; main thread, at start.
#pragma once

#include "serbridge/bridge.h"

// The unit N, or -1 when none matches (the count absent, 0 or exhausted).
[[nodiscard]] int find_wan_unit(const bridge_ctx *ctx);
