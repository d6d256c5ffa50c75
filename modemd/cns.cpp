#include "modemd/cns.h"

#include "common/stuffing.h"

int cns_encode(const uint8_t *data, size_t len, uint8_t *out, size_t out_cap, size_t *out_len) {
    int n = stuff_frame(data, len, kStuffOpenFlag, out, out_cap);
    if (n >= 0) *out_len = static_cast<size_t>(n);
    return n;
}

int cns_decode(const uint8_t *frame, size_t len, uint8_t *out, size_t *out_len) {
    *out_len = len >= 3 ? unstuff(frame + 1, len - 2, out) : 0;
    return static_cast<int>(*out_len);
}
