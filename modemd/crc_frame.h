// The CRC-trailed framing of KPC650 and CDU cards. Main thread.
//
// On the wire, both ways: the stuffed frame data (modemd/cns.h) followed by its stuffed
// 16-bit check value, then one 0x7E flag; there is no flag in front. The check value is the
// FCS-16 (~crc16(data, len, 0xFFFF)) of the unstuffed data, least significant byte first.
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

// Appends the check value to the `len` data bytes (two spare bytes must follow them), stuffs
// and writes everything after the leading flag. Returns the stuffed length counting both
// flags, or -1 when the write was short, the frame does not fit or the port is gone.
int crc_frame_write(CrcFrameBuffers *bufs, int fd, uint8_t *data, int len);

// One read of up to 2047 bytes, unstuffed into `out`. Returns the frame data length (check
// value removed), or -1: the read failed or gave fewer than 4 bytes or more than `cap`, or
// the check value does not match.
int crc_frame_read(CrcFrameBuffers *bufs, int fd, uint8_t *out, int cap);
