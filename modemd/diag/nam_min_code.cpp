#include "modemd/diag/nam_min_code.h"

namespace {

const char kDigitOfCode[] = "1234567890";

bool digit_code(char d, uint16_t *code) {
    if (d < '0' || d > '9') return false;
    *code = d == '0' ? 9 : static_cast<uint16_t>(d - '1');
    return true;
}

}  // namespace

bool min_group_encode(const char *digits3, uint16_t *out) {
    uint16_t c1, c2, c3;
    if (!digit_code(digits3[0], &c1) || !digit_code(digits3[1], &c2) ||
        !digit_code(digits3[2], &c3))
        return false;
    *out = static_cast<uint16_t>(100 * c1 + 10 * c2 + c3);
    return true;
}

bool min2_encode(const char *digits3, uint16_t *out) {
    return min_group_encode(digits3, out);
}

bool min1_encode(const char *digits7, uint32_t *out) {
    uint16_t high, low;
    char d4 = digits7[3];
    if (!min_group_encode(digits7, &high) || d4 < '0' || d4 > '9' ||
        !min_group_encode(digits7 + 4, &low))
        return false;
    uint32_t fourth = d4 == '0' ? 10u : static_cast<uint32_t>(d4 - '0');
    *out = static_cast<uint32_t>(high) << 14 | fourth << 10 | low;
    return true;
}

bool min_group_decode(uint32_t code, char *out3) {
    if (code > 999) return false;
    out3[0] = kDigitOfCode[code / 100];
    out3[1] = kDigitOfCode[code / 10 % 10];
    out3[2] = kDigitOfCode[code % 10];
    return true;
}

bool min2_decode(uint16_t code, char *out3) {
    return min_group_decode(code, out3);
}

bool min1_decode(uint32_t code, char *out7) {
    if (code == 0) {
        for (int i = 0; i < 7; ++i)
            out7[i] = '0';
        return true;
    }
    uint32_t fourth = code >> 10 & 0xF;
    if (code >> 24 || fourth == 0 || fourth > 10) return false;
    if (!min_group_decode(code >> 14 & 0x3FF, out7) || !min_group_decode(code & 0x3FF, out7 + 4))
        return false;
    out7[3] = fourth == 10 ? '0' : static_cast<char>('0' + fourth);
    return true;
}
