#include "common/crc32.h"

namespace {

struct Crc32Table {
    uint32_t v[256];
    constexpr Crc32Table() : v{} {
        for (uint32_t b = 0; b < 256; ++b) {
            uint32_t c = b;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
            v[b] = c;
        }
    }
};

constexpr Crc32Table kTable;

}  // namespace

uint32_t crc32_update(uint32_t crc, const uint8_t *data, size_t len) {
    for (size_t i = 0; i < len; ++i)
        crc = (crc >> 8) ^ kTable.v[(crc ^ data[i]) & 0xFF];
    return crc;
}
