// Building and checking TRX firmware images on a host, for tests, the demo and people: the
// header's layout comes from common/trx.h, but the CRC is this module's own bitwise code, so
// a fault in the agent's CRC or in the range it covers cannot cancel out. Host tool code.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The CRC-32 of TRX images computed a bit at a time (reflected polynomial 0xEDB88320, no
// complement), chained from `crc`.
uint32_t trx_bitwise_crc(const uint8_t *data, size_t len, uint32_t crc);

struct TrxBuild {
    std::vector<std::vector<uint8_t>> payloads;  // up to three, each 4-byte aligned in the image
    uint16_t flags = 0;
    uint16_t version = 1;
    // Lies written into the header after the honest one is computed.
    std::optional<uint32_t> lie_len, lie_crc, lie_magic;
    std::optional<uint16_t> lie_flags;
};

// The image: header (length, CRC over bytes 12 .. end, flags, version, the payloads' offsets),
// then the payloads.
std::vector<uint8_t> trx_build(const TrxBuild &b);

struct TrxVerdict {
    bool good = false;
    uint32_t header_len = 0, header_crc = 0, computed_crc = 0;
    std::string why;  // "good", or what is wrong
};

// Checks an image as the router does: magic, 28 <= length <= 7864320, length equal to the
// image's size, CRC from 0xFFFFFFFF over bytes 12 .. length-1.
TrxVerdict trx_verify(const std::vector<uint8_t> &image);
