// The transport-layer decoder on a message from the card: whatever it takes must re-encode
// (when point-to-point) to a message that decodes to the same fields, and the sizes it reports
// must match what it stored. Input: the whole message.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "modemd/diag/wms_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    wms_tl_message m;
    size_t out_size = 0;
    int status = wms_ts_decode_CDMA_tl(data, size, &m, kWmsDataSize, &out_size);
    // Refused by length: 8, or 13 first when the message is longer than the room granted.
    if ((size < 2 || size > kWmsMaxTlLength) && status != (size > kWmsDataSize ? 13 : 8)) abort();
    if (status != 0) return 0;
    if (m.num_digits > kWmsMaxDigits || m.subaddress_len > kWmsMaxSubaddress) abort();
    if (out_size != static_cast<size_t>(m.num_digits) + m.subaddress_len + m.bearer_len + 49)
        abort();
    if (m.message_type != 0) return 0;
    uint8_t encoded[600];
    size_t n = 0;
    if (wms_ts_encode_CDMA_tl(&m, sizeof encoded, encoded, &n) != 0) abort();
    wms_tl_message again;
    size_t again_size = 0;
    if (n <= kWmsMaxTlLength) {
        if (wms_ts_decode_CDMA_tl(encoded, n, &again, kWmsDataSize, &again_size) != 0) abort();
        if (again.num_digits != m.num_digits || again.bearer_len != m.bearer_len ||
            again.teleservice != m.teleservice || again.subaddress_len != m.subaddress_len ||
            std::memcmp(again.data, m.data, again_size - 49) != 0)
            abort();
    }
    return 0;
}
