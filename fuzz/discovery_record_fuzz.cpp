// The discovery record and the set rule: for any bytes, a record is taken exactly when it has
// 696 bytes or more and a known signature; what it decodes to encodes and decodes back to the
// same fields; a set the rule lets through never carries a netmask outside 255.0.0.0 to
// 255.255.255.252 nor a LAN address no LAN host can have.
// Links: rmagent_core, platform, common.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "common/bytes.h"
#include "common/lan_records.h"
#include "rmagent/scantools.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 1024) return 0;  // one datagram of the service
    discovery_record r;
    discovery_parse_result got = discovery_decode(data, size, &r);
    bool expect_ok = size >= kDiscoveryRecordSize && (data[0] == 0xBA || data[0] == 0xAB);
    if ((got == kDiscoveryOk) != expect_ok) abort();
    if (got != kDiscoveryOk) return 0;
    if (strlen(r.community) > kDiscoveryCommunitySize || strlen(r.model) >= kDiscoveryModelSize ||
        strlen(r.fw_file) >= kDiscoveryFileSize)
        abort();
    uint8_t again[kDiscoveryRecordSize];
    discovery_encode(r, again);
    discovery_record back;
    if (discovery_decode(again, sizeof again, &back) != kDiscoveryOk) abort();
    if (back.flags != get_be16(data + 2) || back.reconnect != get_be32(data + 692) ||
        back.lan_addr != r.lan_addr || back.netmask != r.netmask ||
        memcmp(back.hwaddr, data + 36, 6) != 0 || strcmp(back.model, r.model) != 0 ||
        strcmp(back.community, r.community) != 0)
        abort();
    // The current figures from the record itself: any values will do for the property.
    uint32_t cur_addr = r.fw_server, cur_mask = 0;
    memcpy(&cur_mask, data + 604, 4);
    if (!lan_netmask_valid(cur_mask)) cur_mask = 0;
    if (scantools_set_refusal(r, cur_addr, cur_mask) == nullptr) {
        if ((r.flags & kFlagSetNetmask) && !lan_netmask_valid(r.netmask)) abort();
        uint32_t mask = (r.flags & kFlagSetNetmask) ? r.netmask : cur_mask;
        if ((r.flags & kFlagSetLanAddr) && !lan_host_addr_valid(r.lan_addr, mask)) abort();
    }
    return 0;
}
