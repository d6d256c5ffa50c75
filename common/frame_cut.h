// Cuts the bytes that pass one way on a card's port into frames exactly as they were on the
// wire (flags and escapes kept), for a capture: one record per frame, whatever the reads and
// writes that carried them. Pure code, no allocation; one FrameCut belongs to one direction
// and is used by one thread at a time.
//
//   trailing flag only (KPC650, CDU, DIAG)  a frame ends at every 0x7E, which it keeps
//   flag on both sides (CnS)                a frame runs from an opening 0x7E to the next
//                                           0x7E; bytes before an opening flag are passed on
//                                           as a piece of their own
//
// 0x7E never occurs escaped, so a flag needs no look at the bytes before it. A run of
// kFrameCutMax bytes without a closing flag is passed on as it is and cutting starts afresh.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr size_t kFrameCutMax = 4096;

typedef void (*frame_cut_sink_t)(void *ctx, const uint8_t *frame, size_t len);

class FrameCut {
  public:
    explicit FrameCut(bool leading_flag = false) : leading_(leading_flag) {}

    // Whether frames open with a flag too; empties what is held.
    void reset(bool leading_flag) {
        leading_ = leading_flag;
        len_ = 0;
    }

    // Takes bytes[0..len) and hands every frame they complete to `sink`.
    void feed(const uint8_t *bytes, size_t len, frame_cut_sink_t sink, void *ctx);

    // Hands on what is held (a frame still open), if anything.
    void flush(frame_cut_sink_t sink, void *ctx);

    size_t held() const { return len_; }

  private:
    void push(uint8_t b, frame_cut_sink_t sink, void *ctx);

    bool leading_;
    size_t len_ = 0;
    uint8_t buf_[kFrameCutMax];
};
