// CnS byte stuffing, shared by the Sierra, KPC650 and CDU families. Pure computation.
//
//   frame:  0x7E  stuffed data  0x7E
//   inside: 0x7D and 0x7E are sent as 0x7D followed by the byte XOR 0x20; every other byte
//           (control characters included) is sent as it is.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr uint8_t kCnsFlag = 0x7E;
inline constexpr uint8_t kCnsEscape = 0x7D;
inline constexpr uint8_t kCnsEscapeXor = 0x20;

// Stuffs `len` bytes into `out` between two flags. Stores the frame length in `*out_len` and
// returns it; -1 (nothing stored) when the frame would exceed `out_cap`. At most 2 * len + 2.
[[nodiscard]] int cns_encode(const uint8_t *data, size_t len, uint8_t *out, size_t out_cap,
                             size_t *out_len);

// Drops the first and the last byte (the flags, whatever they are) and undoes the escapes.
// `out` may be `frame` itself. Stores the decoded length in `*out_len` and returns it; 0 for
// a frame of fewer than 3 bytes. An escape with nothing after it is dropped. The result is at
// most len - 2 bytes.
int cns_decode(const uint8_t *frame, size_t len, uint8_t *out, size_t *out_len);
