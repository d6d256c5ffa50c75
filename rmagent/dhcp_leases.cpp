#include <arpa/inet.h>

#include <cstdio>
#include <cstring>

#include "common/bytes.h"
#include "platform/env.h"
#include "platform/process.h"
#include "platform/router_root.h"
#include "rmagent/batch.h"
#include "rmagent/status.h"

bool lease_entry(const uint8_t *rec, int index, uint32_t uptime, char *out, size_t size) {
    static const uint8_t kZero[6] = {};
    if (!memcmp(rec, kZero, sizeof kZero)) return false;
    char ip[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, rec + 16, ip, sizeof ip);
    uint32_t remaining = get_be32(rec + 20);
    char host[65];
    size_t n = strnlen(reinterpret_cast<const char *>(rec + 24), 64);
    memcpy(host, rec + 24, n);
    host[n] = '\0';
    snprintf(out, size, "lan_lease%d=%s,%02X:%02x:%02X:%02X:%02X:%02X,%s,%d", index, ip, rec[0],
             rec[1], rec[2], rec[3], rec[4], rec[5], n ? host : "unknown",
             static_cast<int>(uptime + remaining));
    return true;
}

int do_send_dhcp_status(rcm_session *s, uint16_t oid) {
    char *killall[] = {const_cast<char *>("killall"), const_cast<char *>("-16"),
                       const_cast<char *>("udhcpd"), nullptr};
    // Best effort: asks udhcpd to write its leases out; without it the file is read as it is.
    (void)_eval(killall, ">/dev/console", 0, nullptr);
    var_text t = var_text_start(s);
    RouterPath path("/tmp/udhcpd.leases");
    FILE *f = path.ok() ? fopen(path.c_str(), "re") : nullptr;
    int kept = 0;
    if (f) {
        uint32_t uptime = env_uptime();
        uint8_t rec[kLeaseRecordLen];
        char entry[256];
        while (fread(rec, 1, sizeof rec, f) == sizeof rec) {
            if (!lease_entry(rec, kept, uptime, entry, sizeof entry)) continue;
            ++kept;
            var_text_add_entry(&t, entry);
            if (var_text_flush_full(s, &t, oid, 0, 0) < 0) {
                fclose(f);
                return -1;
            }
        }
        fclose(f);
        if (var_text_flush(s, &t, oid, 0, 0) < 0) return -1;
    }
    char count[48];
    snprintf(count, sizeof count, "lan_lease_maxunit=%d", kept);
    var_text_add_entry(&t, count);
    return var_text_flush(s, &t, oid, 0, 0);
}
