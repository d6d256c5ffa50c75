// The TRX firmware image header: the first 28 bytes of an image, little-endian. Laid out once
// here for the agent's download check, the flash writer `mtd` and the image builder's reader.
// Pure code, any thread.
//
//   off  size  field
//   0    4     magic     "HDR0" (48 44 52 30)
//   4    4     len       the whole image, header included
//   8    4     crc       CRC-32 from 0xFFFFFFFF over bytes 12 .. len-1, no final complement
//   12   2     flags     bit 0: the length does not count the header (a flag the check ignores)
//   14   2     version
//   16   12    offsets   three partition offsets (not examined)
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr size_t kTrxHeaderLen = 28;
inline constexpr uint32_t kTrxMagic = 0x30524448;  // "HDR0" read little-endian
inline constexpr uint32_t kTrxMaxLen = 7864320;    // the "linux" partition (0x780000)
inline constexpr uint32_t kTrxCrcStart = 0xFFFFFFFFu;
inline constexpr size_t kTrxCrcFrom = 12;  // the CRC covers the image from this byte

struct trx_header {
    uint32_t magic;
    uint32_t len;
    uint32_t crc;
    uint16_t flags;
    uint16_t version;
    uint32_t offsets[3];
};

// Reads a header from `len` bytes at `buf`. False when fewer than 28 bytes are given.
[[nodiscard]] bool trx_parse_header(const uint8_t *buf, size_t len, trx_header *out);

// Writes `h` as 28 bytes at `buf`.
void trx_put_header(uint8_t *buf, const trx_header &h);

// Whether the header can describe an image: the magic, and 28 <= len <= 7864320.
[[nodiscard]] bool trx_header_sane(const trx_header &h);

// The running CRC after the header's own covered bytes (12-27), from 0xFFFFFFFF: the rest of
// the image, bytes 28 .. len-1, extends it (crc32_update) and the result is compared with
// h.crc. `header` is the 28 raw bytes.
uint32_t trx_crc_begin(const uint8_t *header);
