// The relay's CnS receive buffer (statpipe/cnsutil/cnsutil.h) on any bytes from the card, in
// reads whose sizes the input chooses. Properties: every frame is 1 to 512 bytes; never more
// decoded bytes than came in; each frame stuffed again and received by a fresh buffer gives
// itself back. Links cnsutil, platform and common.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "common/stuffing.h"
#include "statpipe/cnsutil/cnsutil.h"

namespace {

void check_round_trip(const uint8_t *frame, int len) {
    static CnsRx again;
    static uint8_t out[kCnsFrameMax];
    cns_rx_reset(&again);
    int n = stuff_frame(frame, static_cast<size_t>(len), kStuffOpenFlag, cns_rx_tail(&again),
                        cns_rx_room(&again));
    if (n < 0) abort();
    cns_rx_added(&again, static_cast<size_t>(n));
    if (cns_rx_take(&again, out, sizeof out) != len || memcmp(out, frame, static_cast<size_t>(len)))
        abort();
    if (cns_rx_whole(&again)) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static CnsRx rx;
    static uint8_t frame[kCnsFrameMax];
    cns_rx_reset(&rx);
    size_t in = 0, out = 0, pos = 0;
    while (pos < size) {
        size_t chunk = 1 + data[pos++] % 64;  // a length byte, then the read's bytes
        if (chunk > size - pos) chunk = size - pos;
        if (chunk > cns_rx_room(&rx)) chunk = cns_rx_room(&rx);
        memcpy(cns_rx_tail(&rx), data + pos, chunk);
        cns_rx_added(&rx, chunk);
        pos += chunk;
        in += chunk;
        for (int n; (n = cns_rx_take(&rx, frame, sizeof frame)) > 0;) {
            if (n > kCnsFrameMax) abort();
            out += static_cast<size_t>(n);
            if (out > in) abort();
            check_round_trip(frame, n);
        }
        if (cns_rx_whole(&rx)) abort();  // take() left no whole frame behind
    }
    return 0;
}
