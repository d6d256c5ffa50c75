// Status figures that nvram does not hold: interface state and packet counts, memory.
#include <cstdio>
#include <cstring>

#include "platform/nvram.h"
#include "platform/utils.h"
#include "rmagent/netif.h"
#include "rmagent/variables.h"

char *interfaces_info_get(int unit, const variable_row *row) {
    // A failed scan leaves the list empty: the queries below then find nothing, as for an
    // interface that is not there.
    (void)netif_init();
    char ifname[64] = "";
    bool known = true;
    if (!strncmp(row->name, "lan_", 4)) {
        snprintf(ifname, sizeof ifname, "%s", nvram_safe_get("lan_ifname"));
    } else if (row->unit_kind == kUnitWan && !strncmp(row->name, "wan_", 4)) {
        char key[32];
        snprintf(key, sizeof key, "wan%d_ifname", unit);
        snprintf(ifname, sizeof ifname, "%s", nvram_safe_get(key));
    } else {
        known = false;
    }
    char text[32] = "";
    const char *item = row->name + 4;
    if (known && !strcmp(item, "status")) {
        uint32_t admin;
        if (netif_get(ifname, kNetifAdminStatus, &admin) > 0)
            snprintf(text, sizeof text, "%d", admin == 1 ? 1 : 0);
    } else if (known && (!strcmp(item, "inpkts") || !strcmp(item, "outpkts"))) {
        uint32_t count = 0;
        int which = item[0] == 'i' ? kNetifRxPackets : kNetifTxPackets;
        if (netif_get(ifname, which, &count) < 0) count = 0;
        snprintf(text, sizeof text, "%ld", static_cast<long>(count));
    }
    netif_fina();
    return variable_strdup(text);
}

char *memusage_get(int, const variable_row *) {
    uint32_t w[kMemoryInfoWords];
    char text[16] = "";
    if (memory_info(w) == 0 && w[0] > 0) {
        uint64_t spare = (static_cast<uint64_t>(w[2]) + w[5]) * 100 / w[0];
        snprintf(text, sizeof text, "%d", static_cast<int>(100 - static_cast<int64_t>(spare)));
    }
    return variable_strdup(text);
}

char *memtotal_get(int, const variable_row *) {
    uint32_t w[kMemoryInfoWords];
    char text[24] = "";
    if (memory_info(w) == 0) snprintf(text, sizeof text, "%llu", w[0] * 1024ull);
    return variable_strdup(text);
}
