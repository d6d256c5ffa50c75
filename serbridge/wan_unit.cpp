#include "serbridge/wan_unit.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/nvram.h"

int find_wan_unit(const bridge_ctx *ctx) {
    int count = atoi(nvram_safe_get("wan_maxentrys"));
    for (int n = 0; n < count; ++n) {
        char unit[33];
        snprintf(unit, sizeof unit, "wan%d_", n);
        snprintf(tmp, sizeof tmp, "%sproto", unit);
        const char *proto = nvram_get(tmp);
        if (!proto || std::strcmp(proto, "4") != 0) continue;
        snprintf(tmp, sizeof tmp, "%sdevname", unit);
        const char *dev = nvram_get(tmp);
        if (dev && std::strcmp(dev, ctx->modem_dev) == 0) return n;
    }
    return -1;
}
