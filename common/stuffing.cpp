#include "common/stuffing.h"

#include <cstring>

#include "common/bytes.h"
#include "common/fcs16.h"

namespace {

// Index of the first flag or escape in p[0..n), or n. Tests a machine word at a time (a word
// holds one of them when word ^ pattern has a zero byte), then pins it down.
size_t find_special(const uint8_t *p, size_t n) {
    using Word = uintptr_t;
    constexpr Word kOnes = static_cast<Word>(~Word{0}) / 0xFF;
    constexpr Word kHighs = kOnes * 0x80;
    constexpr Word kFlags = kOnes * kStuffFlag, kEscapes = kOnes * kStuffEscape;
    size_t i = 0;
    for (; i + sizeof(Word) <= n; i += sizeof(Word)) {
        Word w;
        std::memcpy(&w, p + i, sizeof w);
        Word xa = w ^ kFlags, xb = w ^ kEscapes;
        if ((((xa - kOnes) & ~xa) | ((xb - kOnes) & ~xb)) & kHighs) break;
    }
    for (; i < n; ++i)
        if (p[i] == kStuffFlag || p[i] == kStuffEscape) return i;
    return n;
}

}  // namespace

size_t stuff_bytes(const uint8_t *src, size_t src_len, uint8_t *dst, size_t dst_cap,
                   size_t *consumed) {
    // Requests are short: a byte at a time is fast enough and small.
    size_t in = 0, out = 0;
    for (; in < src_len; ++in) {
        uint8_t b = src[in];
        bool escape = b == kStuffFlag || b == kStuffEscape;
        if (dst_cap - out < (escape ? 2u : 1u)) break;
        if (escape) {
            dst[out++] = kStuffEscape;
            b ^= kStuffXor;
        }
        dst[out++] = b;
    }
    if (consumed) *consumed = in;
    return out;
}

int stuff_frame(const uint8_t *data, size_t len, unsigned options, uint8_t *out, size_t out_cap) {
    size_t n = 0, taken = 0;
    size_t flags = (options & kStuffOpenFlag) ? 2 : 1;
    if (out_cap > 0x7FFFFFFF) out_cap = 0x7FFFFFFF;  // the length returned is an int
    if (out_cap < flags) return -1;
    size_t room = out_cap - 1;  // the closing flag always has its byte
    if (options & kStuffOpenFlag) out[n++] = kStuffFlag;
    n += stuff_bytes(data, len, out + n, room - n, &taken);
    if (taken != len) return -1;
    if (options & kStuffFcs) {
        uint8_t fcs[kStuffFcsBytes];
        put_le16(fcs, fcs16(data, len));
        n += stuff_bytes(fcs, sizeof fcs, out + n, room - n, &taken);
        if (taken != sizeof fcs) return -1;
    }
    out[n++] = kStuffFlag;
    return static_cast<int>(n);
}

size_t unstuff(const uint8_t *src, size_t len, uint8_t *out) {
    size_t in = 0, n = 0;
    uint8_t pending = 0;
    while (in < len) {
        StuffEnd end = kStuffNoEnd;
        size_t taken = 0;
        n += unstuff_step(src + in, len - in, out + n, len - in, &end, &pending, &taken);
        in += taken;
        // Inside one frame a flag is data, and an escape applies to it too.
        if (end == kStuffFrameAbort) out[n++] = kStuffFlag ^ kStuffXor;
    }
    return n;  // n <= in at every step: decoding in place never overtakes the input
}

size_t unstuff_step(const uint8_t *src, size_t src_len, uint8_t *dst, size_t dst_room,
                    StuffEnd *end_out, uint8_t *escape_pending, size_t *consumed) {
    size_t in = 0, out = 0;
    StuffEnd end = kStuffNoEnd;
    if (*escape_pending && src_len > 0 && dst_room > 0) {
        // The escape closed the previous read: it applies to this first byte, unless that is
        // a flag, which ends (and voids) the frame rather than joining it to the next.
        *escape_pending = 0;
        uint8_t b = src[in++];
        if (b == kStuffFlag)
            end = kStuffFrameAbort;
        else
            dst[out++] = static_cast<uint8_t>(b ^ kStuffXor);
    }
    while (end == kStuffNoEnd && in < src_len && out < dst_room) {
        size_t span = src_len - in < dst_room - out ? src_len - in : dst_room - out;
        size_t plain = find_special(src + in, span);
        std::memmove(dst + out, src + in, plain);
        in += plain;
        out += plain;
        if (plain == span) break;
        if (src[in] == kStuffFlag) {
            dst[out++] = kStuffFlag;
            ++in;
            end = kStuffFrameEnd;
        } else if (in + 1 == src_len) {
            *escape_pending = 1;
            ++in;
        } else if (src[in + 1] == kStuffFlag) {
            in += 2;
            end = kStuffFrameAbort;
        } else {
            dst[out++] = static_cast<uint8_t>(src[in + 1] ^ kStuffXor);
            in += 2;
        }
    }
    *end_out = end;
    *consumed = in;
    return out;
}

void stuff_rx_init(StuffRx *rx, uint8_t *frame, uint32_t cap) {
    rx->frame = frame;
    rx->cap = cap;
    rx->len = 0;
    rx->escape_pending = 0;
}

int stuff_rx_decode(StuffRx *rx, const uint8_t *src, size_t len, stuff_frame_sink_t sink,
                    void *ctx) {
    int good = 0;
    size_t pos = 0;
    while (pos < len) {
        StuffEnd end = kStuffNoEnd;
        size_t taken = 0;
        size_t stored = unstuff_step(src + pos, len - pos, rx->frame + rx->len, rx->cap - rx->len,
                                     &end, &rx->escape_pending, &taken);
        rx->len += static_cast<uint32_t>(stored);
        pos += taken;
        if (end == kStuffFrameEnd) {
            size_t n = rx->len - 1;  // data and FCS, without the flag
            if (fcs16_good(rx->frame, n)) {
                sink(ctx, rx->frame, n - kStuffFcsBytes, true);
                ++good;
            } else if (n > 0) {  // a lone flag is only a separator
                sink(ctx, rx->frame, n, false);
            }
        } else if (end == kStuffFrameAbort) {
            sink(ctx, rx->frame, rx->len, false);
        } else if (rx->len < rx->cap) {
            continue;
        }
        rx->len = 0;
        rx->escape_pending = 0;
    }
    return good;
}
