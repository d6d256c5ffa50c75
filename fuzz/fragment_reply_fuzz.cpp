// The agent's fragment reply parser: data taken lies within the datagram, its length is the
// payloadlen's, and never reaches past the 8 KiB receive buffer.
// Links: rmagent_core, platform, common.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "common/bytes.h"
#include "rmagent/upgrade.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fragment_reply f;
    FragmentParse r = rcm_parse_fragment(data, size, &f);
    if (r != kFragmentOk) {
        if (r == kFragmentBadLength && (size < 36 || 36u + get_be16(data + 34) <= size)) abort();
        return 0;
    }
    uint16_t payloadlen = get_be16(data + 34);
    if (payloadlen < 5 || f.data != data + 40 || f.data_len != payloadlen - 4u) abort();
    if (f.data + f.data_len > data + size) abort();
    if (f.index != get_be16(data + 36)) abort();
    // Only a reply of exactly its share is written: at most 1024 bytes at index * 1024, so an
    // image of at most 7864320 bytes never grows past it.
    uint32_t total = size > 44 ? (get_be32(data + 40) % 7864321u) : 28;
    if (total < 28) total = 28;
    uint16_t count = static_cast<uint16_t>((total + 1023) / 1024);
    uint32_t share = rcm_fragment_share(f.index, count, total);
    if (share > 1024) abort();
    if (share && static_cast<uint32_t>(f.index) * 1024 + share > total) abort();
    return 0;
}
