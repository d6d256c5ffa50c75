// The "novatel" family's command: the last GPS position. Main thread (the event loop).
//
// Reply of command 210 (56 bytes, host order):
//   off  size  content
//   0    4     the fix's time stamp
//   4    4     0
//   8    8     latitude, degrees (double)
//   16   8     longitude, degrees (double)
//   24   4     altitude, metres (32-bit)
//   28   28    0
#pragma once

#include <cstdint>

inline constexpr uint32_t kNvtlGpsCommand = 210;
inline constexpr int kNvtlGpsReplySize = 56;

// Command 210: the 56-byte reply when the card gave its position; no data (an empty success)
// when it could not.
int nvtl_gps_position(uint8_t *req, int req_len, uint8_t *reply, int reply_cap);
