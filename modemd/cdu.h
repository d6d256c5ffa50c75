// The "cdu" family: the ESN (command 1) and a GPS position (command 210) from the card's GPS
// sequence and the NMEA sentence it returns. Main thread only.
//
// Frames are the KPC650 framing (modemd/crc_frame.h); frame data is one command code byte
// followed by the command's data, and an answer has the same shape:
//   0x01        ESN: answer data 4 bytes, big-endian
//   0xD7 c s    GPS control; the sequence sends 04 00, 01 02, 02 00, then 00 00
//   0xD9 00     GPS status poll: answer data byte 1 is 0 when the card is ready
//   0xD8        GPS sentence: answer data is one NMEA sentence as text (no terminator)
#pragma once

#include <cstdint>

#include "common/gps_record.h"

struct fd_desc;
struct gps_info;

// The card's port, -1 until cdu_init() opened it.
extern int cdu_fd;

inline constexpr int kGpsReplyLen = kGpsRecordSize;

[[nodiscard]] int cdu_write(int fd, uint8_t *data, int len);
[[nodiscard]] int cdu_read(int fd, uint8_t *out, int cap);

// One exchange: `code` and `len` data bytes (at most 16) out; the answer's data without its
// code byte left in `answer`. Returns its length, or -1: write failed, no answer within 2
// seconds, bad frame, or an answer without a code byte.
[[nodiscard]] int cdu_cns_cmd(int fd, uint8_t code, const uint8_t *data, int len, uint8_t *answer,
                              int cap);

// The answer data of `code` (no request data) copied to `out`. -1 when the command failed or
// the answer does not fit `out_cap`.
[[nodiscard]] int cdu_cns_get_xxx(int fd, uint8_t code, uint8_t *out, int out_cap);

// 4, with the big-endian answer in `*value`, or -1 unless exactly 4 bytes came back.
[[nodiscard]] int cdu_cns_get_int32(int fd, uint8_t code, uint32_t *value);

// Event-loop handler: bytes the card sends outside an exchange are read and dropped, so they
// are neither taken as the next answer nor left to wake the loop again. Returns 0.
[[nodiscard]] int cdu_cns_notice(fd_desc *desc);

// Command handlers.
[[nodiscard]] int cdu_esn_get(uint8_t *req, int req_len, uint8_t *reply, int cap);
[[nodiscard]] int cdu_gps_get(uint8_t *req, int req_len, uint8_t *reply, int cap);

// The reply of command 210 (common/gps_record.h) from a parsed sentence: time word 0 (the
// sentence has no time stamp), latitude, longitude and the altitude from `height`.
void gps_reply_build(const gps_info &info, uint8_t *reply);
