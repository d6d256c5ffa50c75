// The Sierra card's transport: host-interface header, CnS messages, one request and one
// answer per exchange, and the typed get/set operations the Sierra handlers and the SMS
// loader are built on. Main thread only: the port and the two frame buffers are shared.
//
// Host-interface header, in front of every message to and from the card:
//   off size field
//   0   2    length of what follows, big-endian
//   2   1    type: 0x2B CnS request, 0x6B CnS answer or notification,
//                  0x2D DIAG pass-through request, 0x6D its answer
//   3   1    parameter, 0
// CnS message, after the header for types 0x2B and 0x6B:
//   0   2    object id, big-endian
//   2   1    operation: 1 get, 2 get answer, 3 set, 4 set answer, 5 notification enable,
//            8 notification disable
//   3   1    reserved, 0
//   4   4    application id: 78 56 34 12 in every request
//   8   2    payload length, big-endian (only the low byte is written and read)
//   10  n    payload; numbers big-endian
//
// Frames are the CnS byte stuffing (modemd/cns.h). An answer must come whole in one read of
// the port within 2 seconds: there is no reassembly across reads.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr int kSierraHeaderLen = 4;
inline constexpr int kCnsHeaderLen = 10;
inline constexpr int kSierraFrameBuf = 2048;
inline constexpr int kSierraAnswerCap = 256;    // answers to get, set and notification requests
inline constexpr int kSierraRequestArea = 240;  // a request is built in this much
inline constexpr int kSierraMaxSetValue = kSierraRequestArea - kCnsHeaderLen;
inline constexpr int kSierraMinRead = 16;  // a shorter read is no answer

inline constexpr uint8_t kSierraTypeCnsReq = 0x2B;
inline constexpr uint8_t kSierraTypeCnsAns = 0x6B;
inline constexpr uint8_t kSierraTypeDiagReq = 0x2D;
inline constexpr uint8_t kSierraTypeDiagAns = 0x6D;

inline constexpr uint8_t kCnsOpGet = 1;
inline constexpr uint8_t kCnsOpGetAnswer = 2;
inline constexpr uint8_t kCnsOpSet = 3;
inline constexpr uint8_t kCnsOpSetAnswer = 4;
inline constexpr uint8_t kCnsOpNoticeEnable = 5;
inline constexpr uint8_t kCnsOpNoticeDisable = 8;

// Stuffs `len` bytes into the transmit buffer and writes the whole frame in one write.
// Returns the frame length, or -1 when fewer bytes were written or the port is gone.
[[nodiscard]] int sierra_write(int fd, const uint8_t *msg, int len);

// One read of up to 2048 raw bytes, decoded into `out`. -1 when the read failed, gave fewer
// than 16 bytes or more raw bytes than `cap`; else the decoded length (header included).
[[nodiscard]] int sierra_read(int fd, uint8_t *out, int cap);

// One CnS exchange. `frame` holds the request message at frame + 4 (`len` bytes); the header
// is written in front of it. The answer's CnS message (header dropped) is left at the start
// of `answer`. Returns its length, or -1: write failed, no answer within 2 seconds, bad read,
// or the answer's type is not 0x6B.
[[nodiscard]] int sierra_cns_cmd(int fd, uint8_t *frame, int len, uint8_t *answer, int cap);

// The same exchange with types 0x2D/0x6D; the answer is the DIAG bytes after the header.
[[nodiscard]] int sierra_diag_cmd(int fd, uint8_t *frame, int len, uint8_t *answer, int cap);

// Get: the payload of `obj` copied to `out` (at most `out_cap` bytes). Returns its length, or
// -1 when the exchange failed, the answer is not a get answer, or the payload it claims is
// not all there or does not fit.
[[nodiscard]] int sierra_cns_get_xxx(int fd, uint8_t *out, int out_cap, uint16_t obj);

// Get of an object read with a 16-bit argument (an index or a sequence number). The answer's
// operation is not checked.
[[nodiscard]] int sierra_cns_get_xxx_arg(int fd, uint8_t *out, int out_cap, uint16_t obj,
                                         uint16_t arg);

// Set of `len` value bytes (at most 230). Returns `len`, or -1 unless the card answers with a
// set answer.
[[nodiscard]] int sierra_cns_set_xxx(int fd, const uint8_t *value, int len, uint16_t obj);

// Enables (operation 5) or disables (operation 8) the notifications of `obj`. Returns 0, or
// -1 when the exchange failed.
[[nodiscard]] int sierra_cns_notice_enable_xxx(int fd, uint16_t obj, bool enable);

// Typed values, big-endian on the wire. The getters fail unless exactly 4 (2) payload bytes
// came back.
[[nodiscard]] int sierra_cns_get_int32(int fd, uint32_t *value, uint16_t obj);
[[nodiscard]] int sierra_cns_get_int16(int fd, uint16_t *value, uint16_t obj);
[[nodiscard]] int sierra_cns_set_int32(int fd, uint32_t value, uint16_t obj);
[[nodiscard]] int sierra_cns_set_int16(int fd, uint16_t value, uint16_t obj);

// Text get: the payload and a terminator in `out` (at most out_cap - 1 characters). Returns
// the text length, or -1 with an empty text when the get failed or returned nothing.
[[nodiscard]] int sierra_cns_get_string(int fd, char *out, int out_cap, uint16_t obj);
