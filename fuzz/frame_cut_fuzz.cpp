// Cutting a card's byte stream into capture records (common/frame_cut.h): whatever the bytes
// and however reads split them, the pieces handed on and what is held add up to the input,
// none is longer than kFrameCutMax, and a flag sits only where a frame ends (or, with
// leading flags, where one opens).
//
// Input: mode byte (bit 0: leading flags), then reads as u8 length + bytes.
#include <memory>

#include "common/frame_cut.h"
#include "fuzz/fuzz_support.h"

namespace {

struct Pieces {
    std::vector<FuzzBytes> list;
};

void collect(void *ctx, const uint8_t *frame, size_t len) {
    static_cast<Pieces *>(ctx)->list.emplace_back(frame, frame + len);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz_init();
    FuzzInput in(data, size);
    bool leading = in.u8() & 1;
    auto cut = std::make_unique<FrameCut>(leading);
    Pieces pieces;
    FuzzBytes all;
    while (in.left() > 0) {
        FuzzBytes read = in.bytes(in.u8());
        all.insert(all.end(), read.begin(), read.end());
        cut->feed(read.data(), read.size(), collect, &pieces);
    }
    FUZZ_CHECK(cut->held() <= kFrameCutMax);
    cut->flush(collect, &pieces);
    FUZZ_CHECK(cut->held() == 0);

    FuzzBytes joined;
    for (const FuzzBytes &p : pieces.list) {
        FUZZ_CHECK(!p.empty() && p.size() <= kFrameCutMax);
        for (size_t i = 0; i < p.size(); ++i) {
            bool edge = i + 1 == p.size() || (leading && i == 0);
            if (!edge) FUZZ_CHECK(p[i] != 0x7E);
        }
        joined.insert(joined.end(), p.begin(), p.end());
    }
    FUZZ_CHECK(joined == all);
    return 0;
}
