#include "common/hdlc.h"

#include "common/fcs16.h"

namespace {

constexpr uint8_t kAddress = 0xFF;
constexpr uint8_t kControl = 0x03;

bool needs_escape(uint8_t b) {
    return b < 0x20 || b == kHdlcFlag || b == kHdlcEscape;
}

}  // namespace

size_t hdlc_encode(const uint8_t *frame, size_t len, uint8_t *out, size_t out_size) {
    if (len == 0 || len > kHdlcMaxFrame || out_size < hdlc_encoded_max(len)) return 0;
    const uint8_t head[2] = {kAddress, kControl};
    uint16_t fcs = fcs16_update(kFcs16Init, head, sizeof head);
    fcs = static_cast<uint16_t>(~fcs16_update(fcs, frame, len));
    const uint8_t tail[2] = {static_cast<uint8_t>(fcs), static_cast<uint8_t>(fcs >> 8)};
    size_t n = 0;
    out[n++] = kHdlcFlag;
    auto put = [&](uint8_t b) {
        if (needs_escape(b)) {
            out[n++] = kHdlcEscape;
            b ^= 0x20;
        }
        out[n++] = b;
    };
    for (uint8_t b : head)
        put(b);
    for (size_t i = 0; i < len; ++i)
        put(frame[i]);
    for (uint8_t b : tail)
        put(b);
    out[n++] = kHdlcFlag;
    return n;
}

void HdlcDecoder::reset() {
    len_ = 0;
    hunting_ = true;
    escaped_ = false;
    overflow_ = false;
}

void HdlcDecoder::end_frame(hdlc_frame_sink sink, void *ctx) {
    bool aborted = escaped_, overflow = overflow_;
    size_t len = len_;
    len_ = 0;
    escaped_ = overflow_ = false;
    if (len == 0 && !aborted) return;  // back-to-back flags: no frame
    if (aborted || overflow || len < 4 || fcs16_update(kFcs16Init, buf_, len) != kFcs16Good) {
        ++dropped_;
        return;
    }
    len -= 2;  // the check bytes
    const uint8_t *frame = buf_;
    if (len >= 2 && buf_[0] == kAddress && buf_[1] == kControl) {
        frame += 2;
        len -= 2;
    }
    // Without address and control bytes the buffer holds two bytes more than the largest frame.
    if (len < 2 || len > kHdlcMaxFrame) {  // no room for a protocol number, or too long
        ++dropped_;
        return;
    }
    sink(ctx, frame, len);
}

void HdlcDecoder::feed(const uint8_t *data, size_t len, hdlc_frame_sink sink, void *ctx) {
    for (size_t i = 0; i < len; ++i) {
        uint8_t b = data[i];
        if (b == kHdlcFlag) {
            if (hunting_)
                hunting_ = false;
            else
                end_frame(sink, ctx);
            continue;
        }
        if (hunting_) continue;
        if (b == kHdlcEscape && !escaped_) {
            escaped_ = true;
            continue;
        }
        if (escaped_) {
            b ^= 0x20;
            escaped_ = false;
        }
        if (len_ < sizeof buf_)
            buf_[len_++] = b;
        else
            overflow_ = true;
    }
}
