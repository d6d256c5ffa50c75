#include "common/fcs16.h"

namespace {

constexpr uint16_t kPoly = 0x8408;

// The standard reflected table (row 0), and seven rows derived from it so that eight bytes
// are folded per step: row k gives the effect of a byte followed by k zero bytes.
struct Fcs16Table {
    uint16_t v[8][256];
    constexpr Fcs16Table() : v{} {
        for (unsigned b = 0; b < 256; ++b) {
            uint16_t c = static_cast<uint16_t>(b);
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? static_cast<uint16_t>((c >> 1) ^ kPoly) : c >> 1;
            v[0][b] = c;
        }
        for (int row = 1; row < 8; ++row)
            for (unsigned b = 0; b < 256; ++b) {
                uint16_t prev = v[row - 1][b];
                v[row][b] = static_cast<uint16_t>((prev >> 8) ^ v[0][prev & 0xFF]);
            }
    }
};

constexpr Fcs16Table kTable;

}  // namespace

uint16_t fcs16_update(uint16_t fcs, const uint8_t *data, size_t len) {
    const auto &t = kTable.v;
    for (; len >= 8; len -= 8, data += 8) {
        unsigned x = fcs ^ (data[0] | data[1] << 8);
        fcs = static_cast<uint16_t>(t[7][x & 0xFF] ^ t[6][x >> 8] ^ t[5][data[2]] ^ t[4][data[3]] ^
                                    t[3][data[4]] ^ t[2][data[5]] ^ t[1][data[6]] ^ t[0][data[7]]);
    }
    for (size_t i = 0; i < len; ++i)
        fcs = static_cast<uint16_t>((fcs >> 8) ^ t[0][(fcs ^ data[i]) & 0xFF]);
    return fcs;
}
