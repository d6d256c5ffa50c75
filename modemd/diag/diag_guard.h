// Requests that guard or go with item writes: the service programming code (SPC) unlock, the
// phone lock flag and the preferred roaming list (PRL) download. Any thread but the reader.
//
// SPC (10 bytes sent, 1 s): 0x41, the six code characters, zeros. Accepted only when the
// answer is exactly 41 01.
// Lock flag (10 bytes, 1 s): 0x4B, vendor id, u16 10, 0, flag, four code characters; the
// card's result is response byte 5.
// PRL chunk (126 bytes, 1 s):
//   off  size  field
//   0    1     0x48
//   1    1     sequence number
//   2    1     more: 1 on every chunk but the last
//   3    1     NAM
//   4    2     bit count (chunk length * 8), little-endian
//   6    120   chunk, zero-padded
// The answer repeats 0x48; its byte 1 must be 0 or 1.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr size_t kPrlChunkSize = 120;
inline constexpr size_t kPrlMaxChunks = 256;
inline constexpr size_t kPrlMaxSize = kPrlChunkSize * kPrlMaxChunks;  // 30,720 bytes

// 8 when a pointer is NULL; otherwise *ok_out = 1 when the card accepted the code. A refused
// code is status 0 with *ok_out 0.
[[nodiscard]] int Diag_SPC(const char *code6, uint8_t *ok_out);

// 8 when code4 or result_out is NULL or code_len is below 4.
[[nodiscard]] int lock_flag_set(uint8_t flag, const char *code4, size_t code_len,
                                uint8_t *result_out);

// One chunk (at most 120 bytes, else 8). 11 when the answer is not 0x48 or too short, 9 when
// its status byte is neither 0 nor 1.
[[nodiscard]] int Diag_PRL_Write(uint8_t nam, uint8_t sequence, const uint8_t *chunk,
                                 size_t chunk_length, uint16_t bit_count, uint8_t more);

// The whole list in 120-byte chunks: 4 for a length of 0; 8 for a NULL list, a NAM other than
// 0 or 1, or more than 256 chunks (nothing sent). Stops at the first chunk that fails and
// returns its status, so a broken download never reads as success. *chunks_out (optional) is
// the number of chunks the card took.
[[nodiscard]] int Prl_Write(int nam, const uint8_t *data, size_t length,
                            size_t *chunks_out = nullptr);
