// CnS framing as the Sierra family uses it: the common stuffing (common/stuffing.h) with a
// flag in front and behind and no check value. Pure computation.
//
//   frame:  0x7E  stuffed data  0x7E
#pragma once

#include <cstddef>
#include <cstdint>

// Stuffs `len` bytes into `out` between two flags. Stores the frame length in `*out_len` and
// returns it; -1 (nothing stored) when the frame would exceed `out_cap`. At most 2 * len + 2.
[[nodiscard]] int cns_encode(const uint8_t *data, size_t len, uint8_t *out, size_t out_cap,
                             size_t *out_len);

// Drops the first and the last byte (the flags, whatever they are) and undoes the escapes
// (unstuff()). `out` may be `frame` itself. Stores the decoded length in `*out_len` and
// returns it; 0 for a frame of fewer than 3 bytes. The result is at most len - 2 bytes.
[[nodiscard]] int cns_decode(const uint8_t *frame, size_t len, uint8_t *out, size_t *out_len);
