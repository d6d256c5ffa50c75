// The frame check sequence that closes every DIAG frame: the 16-bit FCS of HDLC
// (CRC-16/X-25, the routine in common/fcs16.h), complemented, sent low byte first.
// Pure computation, any thread.
#pragma once

#include <cstdint>

// Over a packet followed by its own correct FCS, crc_16_l_calc yields this constant.
inline constexpr uint16_t kDiagCrcResidue = 0x0F47;

// The FCS of `length_in_bits` / 8 bytes at `data` (callers pass whole bytes times eight; a
// remainder below eight bits is not covered). "123456789" (72 bits) gives 0x906E.
uint16_t crc_16_l_calc(const uint8_t *data, uint16_t length_in_bits);
