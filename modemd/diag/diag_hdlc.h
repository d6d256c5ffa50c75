// The byte-level codec of the card's diagnostic port, and the receive buffer in which frames
// are assembled across reads. A frame on the wire, in both directions:
//
//   item        size     content
//   packet      n        first byte is the DIAG command code
//   FCS         2        crc_16_l_calc of the packet, low byte first
//   flag        1        0x7E
//
// Every 0x7E or 0x7D inside packet or FCS travels as 0x7D, byte ^ 0x20; nothing else is
// escaped. No opening flag is sent; the receiver ends a frame at every unescaped 0x7E, so
// bytes before the first frame of a stream only spoil that frame's check.
// Pure computation; a diag_rx_buffer belongs to one thread.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr uint8_t kDiagFlag = 0x7E;
inline constexpr uint8_t kDiagEscape = 0x7D;
inline constexpr uint8_t kDiagEscapeXor = 0x20;

inline constexpr size_t kDiagReadSize = 4096;  // one read() of the port
inline constexpr size_t kDiagFrameCap = 4096;  // an unescaped frame, closing flag included
inline constexpr size_t kDiagFcsBytes = 2;

// Stuffs `src` into `dst`. When dst_cap is at least twice src_len every byte is taken;
// otherwise it stops before a byte that might not fit (fewer than two bytes of room left).
// Returns the bytes written; *consumed_out receives the source bytes taken.
size_t diag_hdlc_encode(uint8_t flag, uint8_t escape, uint8_t xor_mask, const uint8_t *src,
                        uint8_t *dst, size_t src_len, size_t dst_cap, size_t *consumed_out);

// What diag_hdlc_decode found at the point it stopped.
enum DiagFrameEnd : int {
    kDiagNoEnd = 0,      // source or room exhausted inside a frame
    kDiagFrameEnd = 1,   // an unescaped flag, stored as the frame's last byte
    kDiagFrameAbort = 2  // an escape directly followed by a flag: the frame is void
};

// Unstuffs src[0..src_len) into dst, storing at most dst_room bytes. An escape that is the
// last source byte is consumed and remembered in *escape_pending, so the next call applies it
// to its first byte. It stops after a flag (*end_out kDiagFrameEnd, the flag stored), after
// an escape followed by a flag (kDiagFrameAbort: both consumed, nothing stored for them), or
// when the stored count reaches dst_room. Returns the bytes stored; *consumed_out the source
// bytes taken (at least one when src_len and dst_room are nonzero).
size_t diag_hdlc_decode(uint8_t flag, uint8_t escape, uint8_t xor_mask, const uint8_t *src,
                        uint8_t *dst, size_t src_len, size_t dst_room, int *end_out,
                        uint8_t *escape_pending, size_t *consumed_out);

// Receive state of one reader: the last read and the frame being assembled, which persists
// from one read to the next.
struct diag_rx_buffer {
    uint8_t raw[kDiagReadSize + 4];
    uint32_t raw_len;
    uint8_t frame[kDiagFrameCap];
    uint32_t frame_len;
    uint32_t frame_cap;
    uint8_t escape_pending;
};

// Makes `buf` empty with the full frame capacity.
void diag_rx_reset(diag_rx_buffer *buf);

// Receives each frame that closes: `good` is true when its check passed, and then `packet`
// is the packet without FCS and flag; a failed frame is passed as received, without its flag.
typedef void (*diag_frame_sink_t)(void *ctx, const uint8_t *packet, size_t len, bool good);

// Runs the decoder over src[0..len) and hands every closed frame to `sink`. A frame of more
// than kDiagFrameCap bytes without a flag is discarded silently. Returns the good frames.
int diag_rx_decode(diag_rx_buffer *buf, const uint8_t *src, size_t len, diag_frame_sink_t sink,
                   void *ctx);
