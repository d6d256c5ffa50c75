// The user-space HDLC decoder of the bridge and the PPP simulators (common/hdlc.h), fed in
// split reads. Whatever arrives, a frame handed on has a protocol number and is never longer
// than kHdlcMaxFrame, and how the bytes are split across reads changes nothing. Frames the
// target encodes itself (with or without address and control, its own FCS) come back whole,
// as do frames of the product's encoder.
//
// Input: mode byte (bit 0: raw stream / frames to encode), read size (0: one read), then the
// raw stream, or frames as u16 length (its bit 15 leaves out address and control; the rest
// taken mod 2100) and a piece repeated to that length.
#include <cstring>

#include "common/hdlc.h"
#include "fuzz/fuzz_support.h"

namespace {

struct Seen {
    std::vector<FuzzBytes> frames;
};

void sink(void *ctx, const uint8_t *frame, size_t len) {
    FUZZ_CHECK(len >= 2 && len <= kHdlcMaxFrame);
    static_cast<Seen *>(ctx)->frames.emplace_back(frame, frame + len);
}

// Feeds `stream` in reads of `step` bytes (all at once for 0) to a fresh decoder.
Seen decode(const FuzzBytes &stream, size_t step, uint32_t *dropped) {
    Seen seen;
    HdlcDecoder dec;
    if (step == 0) step = stream.size() + 1;
    for (size_t at = 0; at < stream.size(); at += step) {
        size_t n = stream.size() - at < step ? stream.size() - at : step;
        dec.feed(stream.data() + at, n, sink, &seen);
    }
    *dropped = dec.dropped();
    return seen;
}

// The target's own framing of `frame`.
FuzzBytes encode(const FuzzBytes &frame, bool address_control) {
    FuzzBytes body;
    if (address_control) body = {0xFF, 0x03};
    body.insert(body.end(), frame.begin(), frame.end());
    FuzzBytes out = {0x7E};
    FuzzBytes stuffed = fuzz_stuff(fuzz_with_fcs(body), true);
    out.insert(out.end(), stuffed.begin(), stuffed.end());
    out.push_back(0x7E);
    return out;
}

// `pattern` repeated to `len` bytes (zeros for an empty pattern): long frames cost the input
// two bytes.
FuzzBytes repeated(const FuzzBytes &pattern, size_t len) {
    FuzzBytes out(len, 0);
    for (size_t i = 0; !pattern.empty() && i < len; ++i)
        out[i] = pattern[i % pattern.size()];
    return out;
}

void check_raw(const FuzzBytes &stream, size_t step) {
    uint32_t dropped_whole = 0, dropped_split = 0;
    Seen whole = decode(stream, 0, &dropped_whole);
    Seen split = decode(stream, step, &dropped_split);
    FUZZ_CHECK(whole.frames == split.frames && dropped_whole == dropped_split);
}

void check_built(FuzzInput &in, size_t step) {
    FuzzBytes stream;
    std::vector<FuzzBytes> sent;
    while (in.left() > 0) {
        uint16_t word = in.u16();
        FuzzBytes frame = repeated(in.piece(), (word & 0x7FFF) % 2100);
        bool address_control = !(word & 0x8000);
        FuzzBytes line = encode(frame, address_control);
        stream.insert(stream.end(), line.begin(), line.end());
        // A frame without address and control that starts FF 03 loses those two bytes.
        bool looks_framed = frame.size() >= 2 && frame[0] == 0xFF && frame[1] == 0x03;
        if (!address_control && looks_framed) frame.erase(frame.begin(), frame.begin() + 2);
        if (frame.size() >= 2 && frame.size() <= kHdlcMaxFrame) sent.push_back(frame);
        // The product's encoder must agree with the decoder too.
        FuzzBytes product(hdlc_encoded_max(frame.size()));
        size_t n = hdlc_encode(frame.data(), frame.size(), product.data(), product.size());
        FUZZ_CHECK(n == 0 ? frame.empty() || frame.size() > kHdlcMaxFrame : n <= product.size());
        if (n > 0) {
            uint32_t dropped = 0;
            Seen back = decode(FuzzBytes(product.begin(), product.begin() + n), step, &dropped);
            if (frame.size() >= 2) {
                FUZZ_CHECK(back.frames.size() == 1 && back.frames[0] == frame);
            } else {
                FUZZ_CHECK(back.frames.empty() && dropped == 1);
            }
        }
    }
    uint32_t dropped = 0;
    Seen got = decode(stream, step, &dropped);
    FUZZ_CHECK(got.frames == sent);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz_init();
    FuzzInput in(data, size);
    uint8_t mode = in.u8();
    size_t step = in.u8();
    if (mode & 1)
        check_built(in, step);
    else
        check_raw(in.rest(), step);
    return 0;
}
