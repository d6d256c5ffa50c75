#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/bytes.h"
#include "platform/nvram.h"
#include "platform/wireless.h"
#include "rmagent/batch.h"
#include "rmagent/status.h"
#include "rmagent/trace.h"

namespace {

constexpr int kStaListBuf = 1540;  // a count and up to 256 six-byte addresses
constexpr uint32_t kMaxStations = 256;

}  // namespace

int (*rcm_wl_ioctl)(const char *ifname, int cmd, void *buf, int len) = wl_ioctl;

int do_send_wl_stalist(rcm_session *s, uint16_t oid) {
    int unit = atoi(nvram_safe_get("wl_unit"));
    char key[32], ifname[64];
    snprintf(key, sizeof key, "wl%d_ifname", unit);
    snprintf(ifname, sizeof ifname, "%s", nvram_safe_get(key));

    // Asked of the heap, not the stack: the driver fills up to 1540 bytes.
    uint8_t *list = static_cast<uint8_t *>(calloc(1, kStaListBuf));
    uint32_t count = 0;
    // No radio, no driver or a bad unit: the report goes on with no stations.
    if (!list || unit < 0) {
        rcm_debug("no wireless unit %d, reporting no stations \n", unit);
    } else {
        strcpy(reinterpret_cast<char *>(list), "authe_sta_list");
        if (rcm_wl_ioctl(ifname, kWlcGetVar, list, kStaListBuf) < 0) {
            rcm_debug("wl_ioctl authe_sta_list on \"%s\" fail, reporting no stations \n", ifname);
        } else {
            count = get_host32(list);
            if (count > kMaxStations) count = kMaxStations;
        }
    }
    var_text t = var_text_start(s);
    int reported = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t *ea = list + 4 + 6 * i;
        uint8_t rssi[12] = {};
        memcpy(rssi + 4, ea, 6);
        if (rcm_wl_ioctl(ifname, kWlcGetRssi, rssi, sizeof rssi) < 0) {
            rcm_debug("wl_ioctl rssi fail, station left out \n");
            continue;
        }
        char mac[18], entry[64];
        snprintf(entry, sizeof entry, "wl0_sta%d=%s,%d", reported, ether_etoa(ea, mac),
                 static_cast<int32_t>(get_host32(rssi)));
        ++reported;
        var_text_add_entry(&t, entry);
        if (var_text_flush_full(s, &t, oid, 0, 0) < 0) {
            free(list);
            return -1;
        }
    }
    free(list);
    if (var_text_flush(s, &t, oid, 0, 0) < 0) return -1;
    char total[40];
    snprintf(total, sizeof total, "wl0_sta_maxunit=%d", reported);
    var_text_add_entry(&t, total);
    return var_text_flush(s, &t, oid, 0, 0);
}
