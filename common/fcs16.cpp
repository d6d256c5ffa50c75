#include "common/fcs16.h"

namespace {

constexpr uint16_t kPoly = 0x8408;

struct Fcs16Table {
    uint16_t v[256];
    constexpr Fcs16Table() : v{} {
        for (unsigned b = 0; b < 256; ++b) {
            uint16_t c = static_cast<uint16_t>(b);
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? static_cast<uint16_t>((c >> 1) ^ kPoly) : c >> 1;
            v[b] = c;
        }
    }
};

constexpr Fcs16Table kTable;

}  // namespace

uint16_t fcs16_update(uint16_t fcs, const uint8_t *data, size_t len) {
    for (size_t i = 0; i < len; ++i)
        fcs = static_cast<uint16_t>((fcs >> 8) ^ kTable.v[(fcs ^ data[i]) & 0xFF]);
    return fcs;
}
