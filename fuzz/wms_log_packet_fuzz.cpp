// The card's answers to the message store: the read's log packet (the message is taken only
// when it lies within the packet, and only into the room given) and the list's count (only
// when the answer holds its entries). Input: byte 0 picks the parser and the room, the rest
// is the packet.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "common/bytes.h"
#include "modemd/diag/wms_diag.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    const uint8_t *r = data + 1;
    size_t len = size - 1;
    if (data[0] & 1) {
        uint8_t count = 0;
        if (wms_take_list_count(r, len, &count) == 0 && 24 + 8u * count > len) abort();
        return 0;
    }
    size_t room = data[0] >> 1;
    uint8_t *out = static_cast<uint8_t *>(malloc(room ? room : 1));
    size_t got = 0;
    int status = wms_take_log_packet(r, len, out, room, &got);
    if (status == 0) {
        if (got > room || 16 + got > len || get_le16(r + 2) != got + 12 ||
            (got && std::memcmp(out, r + 16, got) != 0))
            abort();
    } else if (status == 13) {
        if (got <= room) abort();
    } else if (status != 46) {
        abort();
    }
    free(out);
    return 0;
}
