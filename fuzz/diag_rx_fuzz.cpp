// The DIAG port's receive decoder (modemd/diag/diag_hdlc.h), fed in split reads as the reader
// thread gets them. Whatever arrives, how it is split across reads changes neither the frames
// handed on nor their verdicts, and no packet exceeds the frame capacity; packets the target
// frames itself (its own FCS and stuffing) come out good, whole and in order.
//
// Input: mode byte (bit 0: packets to frame), a count of read sizes and the sizes (cycled;
// none: one read), then the raw stream, or packets as u16 length (mod 4200) + bytes.
#include <memory>
#include <utility>

#include "fuzz/fuzz_support.h"
#include "modemd/diag/diag_hdlc.h"

namespace {

using Frames = std::vector<std::pair<FuzzBytes, bool>>;

void sink(void *ctx, const uint8_t *packet, size_t len, bool good) {
    FUZZ_CHECK(len <= kDiagFrameCap);
    if (good) FUZZ_CHECK(len + kDiagFcsBytes + 1 <= kDiagFrameCap);
    static_cast<Frames *>(ctx)->emplace_back(FuzzBytes(packet, packet + len), good);
}

// The decoder under test, in one place.
int codec_decode(diag_rx_buffer *buf, const uint8_t *src, size_t len, Frames *out) {
    return diag_rx_decode(buf, src, len, sink, out);
}

Frames decode(const FuzzBytes &stream, const std::vector<size_t> &steps) {
    auto buf = std::make_unique<diag_rx_buffer>();
    diag_rx_reset(buf.get());
    Frames frames;
    int good = 0;
    size_t at = 0;
    for (size_t i = 0; at < stream.size(); ++i) {
        size_t step = steps.empty() ? stream.size() : steps[i % steps.size()];
        size_t n = stream.size() - at < step ? stream.size() - at : step;
        good += codec_decode(buf.get(), stream.data() + at, n, &frames);
        at += n;
    }
    int counted = 0;
    for (const auto &f : frames)
        counted += f.second;
    FUZZ_CHECK(good == counted);
    return frames;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz_init();
    FuzzInput in(data, size);
    bool built = in.u8() & 1;
    std::vector<size_t> steps;
    for (int k = in.u8() % 8; k > 0; --k)
        steps.push_back(static_cast<size_t>(in.u8()) + 1);
    if (!built) {
        FuzzBytes stream = in.rest();
        FUZZ_CHECK(decode(stream, {}) == decode(stream, steps));
        return 0;
    }
    FuzzBytes stream;
    Frames sent;
    bool all_fit = true;
    while (in.left() > 0) {
        FuzzBytes packet = in.bytes(in.u16() % 4200);
        FuzzBytes line = fuzz_stuff(fuzz_with_fcs(packet));
        line.push_back(0x7E);
        stream.insert(stream.end(), line.begin(), line.end());
        all_fit = all_fit && packet.size() + kDiagFcsBytes + 1 <= kDiagFrameCap;
        sent.emplace_back(packet, true);
    }
    Frames got = decode(stream, steps);
    if (all_fit) FUZZ_CHECK(got == sent);
    return 0;
}
