// The CRC-trailed framing of KPC650 and CDU cards. Main thread.
//
// On the wire, both ways: the common stuffing (common/stuffing.h) with the check value and no
// flag in front: the stuffed frame data, its stuffed FCS-16 (low byte first), one 0x7E flag.
// A read of the port is one frame: its last byte is taken as the flag, whatever it is.
//
// Each family keeps its own pair of 2048-byte buffers in a CrcFrameBuffers.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr int kCrcFrameBuf = 2048;
inline constexpr int kCrcFrameMinRead = 4;

struct CrcFrameBuffers {
    uint8_t tx[kCrcFrameBuf];
    uint8_t rx[kCrcFrameBuf];
};

// Frames the `len` data bytes with their check value and writes the frame. Returns the
// stuffed length counting a flag in front as well (as if one were sent), or -1 when the write
// was short, the frame does not fit or the port is gone.
[[nodiscard]] int crc_frame_write(CrcFrameBuffers *bufs, int fd, const uint8_t *data, int len);

// One read of up to 2047 bytes, decoded by crc_frame_decode(). Returns the frame data length,
// or -1 when the read failed or the decode refused it.
[[nodiscard]] int crc_frame_read(CrcFrameBuffers *bufs, int fd, uint8_t *out, int cap);

// The bytes of one read, raw[0..n), as one frame: unstuffed into `out` (room for `cap` bytes)
// without the last byte (the flag, whatever it is). Returns the frame data length (check
// value removed), or -1 when n is below kCrcFrameMinRead or above `cap`, or the check value
// does not match.
[[nodiscard]] int crc_frame_decode(const uint8_t *raw, size_t n, uint8_t *out, int cap);
