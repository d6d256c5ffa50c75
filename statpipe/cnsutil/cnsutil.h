// CnS on a Sierra card's port for the relay monitor: sending a frame, receiving one, and the
// typed get of a 32-bit object. Main thread only (one receive buffer for the process).
//
// A frame, as the pipes carry it and as cns_send() takes and cns_recv() gives it, is the
// host-interface header and the CnS message, unstuffed:
//
//   offset  size  field
//   0       2     length of what follows the header, big-endian
//   2       1     message type: 0x2B request, 0x6B answer or notification
//   3       1     parameter, 0
//   4       2     object id, big-endian
//   6       1     operation: 1 get, 2 get answer, 3 set, 4 set answer, 7 notification
//   7       1     reserved
//   8       4     application id
//   12      2     payload length, big-endian
//   14      n     payload
//
// On the port a frame travels stuffed between two 0x7E flags (common/stuffing.h). A read may
// hold part of a frame or several; the receive buffer joins and separates them.
#pragma once

#include <cstddef>
#include <cstdint>

// The port descriptor the typed get uses (both set to the port while it is open, else -1).
extern int fd_send;
extern int fd_recv;

inline constexpr int kCnsFrameMax = 512;  // the largest frame cns_recv() delivers
inline constexpr int kCnsRestMs = 2000;   // how long the rest of a frame may take
inline constexpr size_t kCnsRawMax = 2 * kCnsFrameMax + 4;

// Stuffs frame[0..len) between two flags and writes it in one write. Returns len, or -1 when
// the write was short or failed. `app_id` (the caller's window) is not needed to send.
[[nodiscard]] int cns_send(int fd, const uint8_t *frame, int len, const uint8_t *app_id);

// One decoded frame, header included, into buf (at most min(cap, kCnsFrameMax) bytes). A
// frame already buffered is returned without reading the port; otherwise the port is read,
// and the rest of a frame begun is awaited up to kCnsRestMs. Returns the length; 0 when no
// whole frame came in time (a part begun is dropped); -1 when the port failed or ended.
[[nodiscard]] int cns_recv(int fd, uint8_t *buf, int cap);

// True when a whole frame is buffered: the next cns_recv() returns it without reading.
bool cns_frame_buffered(void);

// Forgets the buffered bytes (the port was closed).
void cns_forget(void);

// Gets object `object` on fd_send/fd_recv with application id 78 56 34 12: the answer (type
// 0x6B, operation 2, the same object and application id; notifications before it are
// skipped) must carry exactly 4 payload bytes. Returns 4 and sets *value (big-endian on the
// wire), or -1 leaving *value untouched.
[[nodiscard]] int cns_get_int32(uint32_t *value, uint16_t object);

// ---- the receive buffer itself: pure, for tests and fuzzing ----

struct CnsRx {
    uint8_t raw[kCnsRawMax];
    size_t len;
};

void cns_rx_reset(CnsRx *rx);
// Room for the next read: cns_rx_room() bytes at cns_rx_tail(), then cns_rx_added(n).
size_t cns_rx_room(const CnsRx *rx);
uint8_t *cns_rx_tail(CnsRx *rx);
void cns_rx_added(CnsRx *rx, size_t n);
// Takes the first whole frame, unstuffed, into out (room for `cap` bytes). A frame longer
// than `cap` or kCnsFrameMax, or empty once unstuffed, is dropped and the next one looked at. Bytes
// that fill the buffer without a flag are dropped. Returns the length, or 0 when no whole frame is
// held.
int cns_rx_take(CnsRx *rx, uint8_t *out, int cap);
bool cns_rx_whole(const CnsRx *rx);
// Bytes of a frame begun but not closed.
bool cns_rx_partial(const CnsRx *rx);
