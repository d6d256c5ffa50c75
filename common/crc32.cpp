#include "common/crc32.h"

#include "common/bytes.h"

namespace {

// Eight tables: v[0] is the classic byte table; v[k][b] is the CRC of byte b followed by k
// zero bytes, so eight bytes are folded per step (a firmware image is checked at memory speed
// rather than a byte at a time). 8 KiB of read-only data.
struct Crc32Tables {
    uint32_t v[8][256];
    constexpr Crc32Tables() : v{} {
        for (uint32_t b = 0; b < 256; ++b) {
            uint32_t c = b;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
            v[0][b] = c;
        }
        for (uint32_t b = 0; b < 256; ++b)
            for (int t = 1; t < 8; ++t)
                v[t][b] = (v[t - 1][b] >> 8) ^ v[0][v[t - 1][b] & 0xFF];
    }
};

constexpr Crc32Tables kTables;

}  // namespace

uint32_t crc32_update(uint32_t crc, const uint8_t *data, size_t len) {
    const auto &t = kTables.v;
    // Bytes are assembled with get_le32, so neither the byte order nor the alignment of the
    // processor matters.
    while (len >= 8) {
        uint32_t lo = get_le32(data) ^ crc;
        uint32_t hi = get_le32(data + 4);
        crc = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
              t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF] ^ t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24];
        data += 8;
        len -= 8;
    }
    for (size_t i = 0; i < len; ++i)
        crc = (crc >> 8) ^ t[0][(crc ^ data[i]) & 0xFF];
    return crc;
}
