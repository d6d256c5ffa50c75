// The CRC-trailed stuffed framing of the KPC650, CDU and DIAG cards, written for tests apart
// from the product's codec (common/stuffing.h) and as plainly as possible, so that the bytes a
// test expects do not come from the code under test.
#pragma once

#include <cstdint>
#include <vector>

namespace testsupport {

// The FCS-16 as sent (complemented), bit by bit.
inline uint16_t oracle_fcs16(const std::vector<uint8_t> &data) {
    uint16_t crc = 0xFFFF;
    for (uint8_t b : data) {
        crc ^= b;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0x8408) : crc >> 1;
    }
    return static_cast<uint16_t>(~crc);
}

// The data, its FCS low byte first, each 0x7E or 0x7D sent as 0x7D and the byte XOR 0x20, then
// one closing flag.
inline std::vector<uint8_t> oracle_fcs_frame(const std::vector<uint8_t> &data) {
    std::vector<uint8_t> raw = data;
    uint16_t fcs = oracle_fcs16(data);
    raw.push_back(static_cast<uint8_t>(fcs));
    raw.push_back(static_cast<uint8_t>(fcs >> 8));
    std::vector<uint8_t> wire;
    for (uint8_t b : raw) {
        bool special = b == 0x7E || b == 0x7D;
        if (special) wire.push_back(0x7D);
        wire.push_back(special ? static_cast<uint8_t>(b ^ 0x20) : b);
    }
    wire.push_back(0x7E);
    return wire;
}

}  // namespace testsupport
