// Asynchronous HDLC-like framing of PPP on a serial line (RFC 1662), as the line discipline
// does it: the user-space PPP channel of the bridge and the simulated PPP peers use it. A
// channel frame is what a PPP channel reads and writes: the two-byte protocol number and the
// information, without address, control, check bytes or flags. Pure computation; an encoder
// call is reentrant, a decoder belongs to one thread.
//
//   on the line:  7E | FF 03 | frame (protocol, information) | FCS-16, low byte first | 7E
//   escaping:     7E, 7D and every byte below 0x20 go as 7D followed by the byte XOR 0x20
//   receiving:    bytes before the first flag are ignored; the address and control bytes are
//                 removed when present (they may be compressed away); a frame that fails the
//                 check, is aborted (7D 7E), is too short or too long is dropped and counted.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr uint8_t kHdlcFlag = 0x7E;
inline constexpr uint8_t kHdlcEscape = 0x7D;
// Largest channel frame (protocol number included), as a PPP channel read returns at most.
inline constexpr size_t kHdlcMaxFrame = 2000;
// Room that encoding a frame of `len` bytes can need: every byte escaped, plus both flags.
inline constexpr size_t hdlc_encoded_max(size_t len) {
    return 2 * (len + 4) + 2;
}

// Frames `frame` into `out`. Returns the bytes written, or 0 when the frame is empty, longer
// than kHdlcMaxFrame, or `out` is too small.
[[nodiscard]] size_t hdlc_encode(const uint8_t *frame, size_t len, uint8_t *out, size_t out_size);

// Called for each good frame; `frame` is valid only during the call.
typedef void (*hdlc_frame_sink)(void *ctx, const uint8_t *frame, size_t len);

class HdlcDecoder {
  public:
    // Feeds received bytes; calls `sink` for every complete good frame among them. A frame may
    // be split across any number of calls.
    void feed(const uint8_t *data, size_t len, hdlc_frame_sink sink, void *ctx);
    // Frames dropped so far (bad check, aborted, too short, too long).
    uint32_t dropped() const { return dropped_; }
    // Forgets a partial frame and hunts for the next flag again.
    void reset();

  private:
    void end_frame(hdlc_frame_sink sink, void *ctx);

    uint8_t buf_[kHdlcMaxFrame + 4];  // address, control, frame, check bytes
    size_t len_ = 0;
    bool hunting_ = true;
    bool escaped_ = false;
    bool overflow_ = false;
    uint32_t dropped_ = 0;
};
