// The "novatel" family's command: the last GPS position. Main thread (the event loop).
//
// Reply of command 210: the position record of common/gps_record.h, from the engine's last
// position fix (time stamp, latitude, longitude, altitude).
#pragma once

#include <cstdint>

#include "common/gps_record.h"

inline constexpr uint32_t kNvtlGpsCommand = 210;
inline constexpr int kNvtlGpsReplySize = kGpsRecordSize;

// Command 210: the 56-byte reply when the card gave its position; no data (an empty success)
// when it could not.
[[nodiscard]] int nvtl_gps_position(uint8_t *req, int req_len, uint8_t *reply, int reply_cap);
