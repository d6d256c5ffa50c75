#include "common/frame_cut.h"

namespace {

constexpr uint8_t kFlag = 0x7E;

}  // namespace

void FrameCut::push(uint8_t b, frame_cut_sink_t sink, void *ctx) {
    if (len_ == kFrameCutMax) flush(sink, ctx);
    buf_[len_++] = b;
}

void FrameCut::flush(frame_cut_sink_t sink, void *ctx) {
    if (len_ == 0) return;
    size_t n = len_;
    len_ = 0;
    sink(ctx, buf_, n);
}

void FrameCut::feed(const uint8_t *bytes, size_t len, frame_cut_sink_t sink, void *ctx) {
    for (size_t i = 0; i < len; ++i) {
        uint8_t b = bytes[i];
        if (b != kFlag) {
            push(b, sink, ctx);
            continue;
        }
        if (leading_ && (len_ == 0 || buf_[0] != kFlag)) {
            flush(sink, ctx);  // bytes outside any frame
            push(b, sink, ctx);
            continue;
        }
        push(b, sink, ctx);
        flush(sink, ctx);
    }
}
