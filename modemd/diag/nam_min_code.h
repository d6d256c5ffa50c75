// The MIN digit code of NAM items: pure functions, any thread.
//
// A decimal digit d is coded d - 1 for 1-9 and 9 for 0; three digits make one group,
// 100 * c1 + 10 * c2 + c3 (10 bits, at most 999). Decoding maps each code back through
// "1234567890".
//   MIN2 (area code, 3 digits): one group, u16.
//   MIN1 (7 digits): bits 23-14 the group d1 d2 d3; bits 13-10 the digit d4 itself, 0 coded
//   as 10; bits 9-0 the group d5 d6 d7. A MIN1 of 0 decodes as seven '0'.
#pragma once

#include <cstdint>

// Encoders take exactly the digits ('0'-'9'); false for anything else.
[[nodiscard]] bool min_group_encode(const char *digits3, uint16_t *out);
[[nodiscard]] bool min2_encode(const char *digits3, uint16_t *out);
[[nodiscard]] bool min1_encode(const char *digits7, uint32_t *out);

// Decoders write the digits (no terminator); false when the value is no valid code (a group
// above 999, a fourth digit of 0 or above 10, bits above 23 of MIN1): the card's value would
// index past "1234567890".
[[nodiscard]] bool min_group_decode(uint32_t code, char *out3);
[[nodiscard]] bool min2_decode(uint16_t code, char *out3);
[[nodiscard]] bool min1_decode(uint32_t code, char *out7);
