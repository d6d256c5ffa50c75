#include "modemd/diag/diag_hdlc.h"

#include <cstring>

#include "modemd/diag/diag_crc.h"

namespace {

// Index of the first byte in p[0..n) equal to `a` or `b`, or n. Tests a machine word at a
// time (a word holds one of them when word ^ pattern has a zero byte), then pins it down.
size_t find_special(const uint8_t *p, size_t n, uint8_t a, uint8_t b) {
    using Word = uintptr_t;
    constexpr Word kOnes = static_cast<Word>(~Word{0}) / 0xFF;
    constexpr Word kHighs = kOnes * 0x80;
    const Word pa = kOnes * a, pb = kOnes * b;
    size_t i = 0;
    for (; i + sizeof(Word) <= n; i += sizeof(Word)) {
        Word w;
        std::memcpy(&w, p + i, sizeof w);
        Word xa = w ^ pa, xb = w ^ pb;
        if ((((xa - kOnes) & ~xa) | ((xb - kOnes) & ~xb)) & kHighs) break;
    }
    for (; i < n; ++i)
        if (p[i] == a || p[i] == b) return i;
    return n;
}

}  // namespace

size_t diag_hdlc_encode(uint8_t flag, uint8_t escape, uint8_t xor_mask, const uint8_t *src,
                        uint8_t *dst, size_t src_len, size_t dst_cap, size_t *consumed_out) {
    bool always_fits = dst_cap / 2 >= src_len;
    size_t out = 0, i = 0;
    for (; i < src_len; ++i) {
        if (!always_fits && out + 2 > dst_cap) break;
        uint8_t b = src[i];
        if (b == flag || b == escape) {
            dst[out++] = escape;
            dst[out++] = static_cast<uint8_t>(b ^ xor_mask);
        } else {
            dst[out++] = b;
        }
    }
    if (consumed_out) *consumed_out = i;
    return out;
}

size_t diag_hdlc_decode(uint8_t flag, uint8_t escape, uint8_t xor_mask, const uint8_t *src,
                        uint8_t *dst, size_t src_len, size_t dst_room, int *end_out,
                        uint8_t *escape_pending, size_t *consumed_out) {
    size_t in = 0, out = 0;
    int end = kDiagNoEnd;
    if (*escape_pending && src_len > 0 && dst_room > 0) {
        // The escape closed the previous read: it applies to this first byte, unless that is
        // a flag, which ends (and voids) the frame rather than joining it to the next.
        *escape_pending = 0;
        uint8_t b = src[in++];
        if (b == flag)
            end = kDiagFrameAbort;
        else
            dst[out++] = static_cast<uint8_t>(b ^ xor_mask);
    }
    while (end == kDiagNoEnd && in < src_len && out < dst_room) {
        size_t span = src_len - in < dst_room - out ? src_len - in : dst_room - out;
        size_t plain = find_special(src + in, span, flag, escape);
        std::memcpy(dst + out, src + in, plain);
        in += plain;
        out += plain;
        if (plain == span) break;
        if (src[in] == flag) {
            dst[out++] = flag;
            ++in;
            end = kDiagFrameEnd;
        } else if (in + 1 == src_len) {
            *escape_pending = 1;
            ++in;
        } else if (src[in + 1] == flag) {
            in += 2;
            end = kDiagFrameAbort;
        } else {
            dst[out++] = static_cast<uint8_t>(src[in + 1] ^ xor_mask);
            in += 2;
        }
    }
    *end_out = end;
    *consumed_out = in;
    return out;
}

void diag_rx_reset(diag_rx_buffer *buf) {
    buf->raw_len = 0;
    buf->frame_len = 0;
    buf->frame_cap = kDiagFrameCap;
    buf->escape_pending = 0;
}

int diag_rx_decode(diag_rx_buffer *buf, const uint8_t *src, size_t len, diag_frame_sink_t sink,
                   void *ctx) {
    int good = 0;
    size_t pos = 0;
    while (pos < len) {
        int end = kDiagNoEnd;
        size_t consumed = 0;
        size_t stored = diag_hdlc_decode(
            kDiagFlag, kDiagEscape, kDiagEscapeXor, src + pos, buf->frame + buf->frame_len,
            len - pos, buf->frame_cap - buf->frame_len, &end, &buf->escape_pending, &consumed);
        buf->frame_len += static_cast<uint32_t>(stored);
        pos += consumed;
        if (end == kDiagFrameEnd) {
            size_t n = buf->frame_len;  // packet, FCS and the flag
            if (n >= kDiagFcsBytes + 1 &&
                crc_16_l_calc(buf->frame, static_cast<uint16_t>((n - 1) * 8)) == kDiagCrcResidue) {
                sink(ctx, buf->frame, n - 1 - kDiagFcsBytes, true);
                ++good;
            } else if (n > 1) {  // a lone flag is only a separator
                sink(ctx, buf->frame, n - 1, false);
            }
            buf->frame_len = 0;
            buf->escape_pending = 0;
        } else if (end == kDiagFrameAbort) {
            sink(ctx, buf->frame, buf->frame_len, false);
            buf->frame_len = 0;
            buf->escape_pending = 0;
        } else if (buf->frame_len >= buf->frame_cap) {
            buf->frame_len = 0;
            buf->escape_pending = 0;
        }
    }
    return good;
}
