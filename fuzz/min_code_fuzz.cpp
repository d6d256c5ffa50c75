// The MIN digit code read from the card: a decoded MIN1 or MIN2 is ten digits '0'-'9' that
// encode back to the same value (MIN1 0, read as seven '0', excepted); values past the digit
// table are refused. Input: a u32 MIN1 and a u16 MIN2, little-endian.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "common/bytes.h"
#include "modemd/diag/nam_min_code.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 6) return 0;
    uint32_t min1 = get_le32(data);
    uint16_t min2 = get_le16(data + 4);
    char digits[10];
    if (min2_decode(min2, digits)) {
        uint16_t back = 0;
        if (min2 > 999 || !min2_encode(digits, &back) || back != min2) abort();
    } else if (min2 <= 999) {
        abort();
    }
    if (min1_decode(min1, digits + 3)) {
        for (int i = 3; i < 10; ++i)
            if (digits[i] < '0' || digits[i] > '9') abort();
        uint32_t back = 0;
        if (min1 != 0 && (!min1_encode(digits + 3, &back) || back != min1)) abort();
    } else {
        uint32_t fourth = min1 >> 10 & 0xF;
        bool valid = min1 >> 24 == 0 && fourth >= 1 && fourth <= 10 &&
                     (min1 >> 14 & 0x3FF) <= 999 && (min1 & 0x3FF) <= 999;
        if (valid) abort();
    }
    return 0;
}
