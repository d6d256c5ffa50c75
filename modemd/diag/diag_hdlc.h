// The receive buffer of the card's diagnostic port, in which frames are assembled across
// reads. The framing is the common stuffing (common/stuffing.h) with the check value and no
// flag in front; in both directions a frame on the wire is:
//
//   item        size     content
//   packet      n        first byte is the DIAG command code
//   FCS         2        crc_16_l_calc of the packet, low byte first
//   flag        1        0x7E
//
// The receiver ends a frame at every unescaped 0x7E, so bytes before the first frame of a
// stream only spoil that frame's check. A diag_rx_buffer belongs to one thread.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/stuffing.h"

inline constexpr size_t kDiagReadSize = 4096;  // one read() of the port
inline constexpr size_t kDiagFrameCap = 4096;  // an unescaped frame, closing flag included
inline constexpr size_t kDiagFcsBytes = kStuffFcsBytes;

// Receive state of one reader: the last read, and the frame being assembled, which persists
// from one read to the next.
struct diag_rx_buffer {
    uint8_t raw[kDiagReadSize + 4];
    uint32_t raw_len;
    uint8_t frame[kDiagFrameCap];
    StuffRx rx;  // over `frame`
};

// Makes `buf` empty with the full frame capacity.
void diag_rx_reset(diag_rx_buffer *buf);

// Receives each frame that closes: `good` is true when its check passed, and then `packet`
// is the packet without FCS and flag; a failed frame is passed as received, without its flag.
typedef stuff_frame_sink_t diag_frame_sink_t;

// Runs the decoder over src[0..len) and hands every closed frame to `sink`. A frame of more
// than kDiagFrameCap bytes without a flag is discarded silently. Returns the good frames.
int diag_rx_decode(diag_rx_buffer *buf, const uint8_t *src, size_t len, diag_frame_sink_t sink,
                   void *ctx);
