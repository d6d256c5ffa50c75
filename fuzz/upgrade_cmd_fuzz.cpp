// The agent's upgrade command parser (oid 0x0100, the whole datagram): whatever comes, a
// command taken has a payload within the datagram and figures an image can have.
// Links: rmagent_core, platform, common.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "common/bytes.h"
#include "rmagent/upgrade.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    uint16_t count = 0;
    uint32_t total = 0;
    if (rcm_parse_upgrade_cmd(data, size, &count, &total) != kUpgradeOk) return 0;
    uint16_t payloadlen = get_be16(data + 34);
    if (size < 44 || payloadlen < 8 || 36u + payloadlen > size) abort();
    if (total < 28 || total > 7864320) abort();
    if (count == 0 || static_cast<uint32_t>(count - 1) * 1024 >= total ||
        static_cast<uint32_t>(count) * 1024 < total)
        abort();
    // The shares of the fragments add up to the total, each at most 1024.
    uint32_t sum = 0;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t share = rcm_fragment_share(static_cast<uint16_t>(i), count, total);
        if (share == 0 || share > 1024) abort();
        sum += share;
    }
    if (sum != total || rcm_fragment_share(count, count, total) != 0) abort();
    return 0;
}
