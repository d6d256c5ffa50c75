#include "modemd/cns.h"

int cns_encode(const uint8_t *data, size_t len, uint8_t *out, size_t out_cap, size_t *out_len) {
    size_t n = 0;
    if (out_cap < 2) return -1;
    out[n++] = kCnsFlag;
    for (size_t i = 0; i < len; ++i) {
        uint8_t b = data[i];
        bool escape = b == kCnsFlag || b == kCnsEscape;
        if (n + (escape ? 2 : 1) + 1 > out_cap) return -1;  // room for the closing flag
        if (escape) {
            out[n++] = kCnsEscape;
            b ^= kCnsEscapeXor;
        }
        out[n++] = b;
    }
    out[n++] = kCnsFlag;
    *out_len = n;
    return static_cast<int>(n);
}

int cns_decode(const uint8_t *frame, size_t len, uint8_t *out, size_t *out_len) {
    size_t n = 0;
    if (len >= 3) {
        size_t end = len - 1;
        for (size_t i = 1; i < end; ++i) {
            uint8_t b = frame[i];
            if (b == kCnsEscape) {
                if (++i >= end) break;
                b = frame[i] ^ kCnsEscapeXor;
            }
            out[n++] = b;  // n <= i - 1: decoding in place never overtakes the input
        }
    }
    *out_len = n;
    return static_cast<int>(n);
}
