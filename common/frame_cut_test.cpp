#include "common/frame_cut.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

void collect(void *ctx, const uint8_t *frame, size_t len) {
    static_cast<std::vector<Bytes> *>(ctx)->emplace_back(frame, frame + len);
}

// Feeds `chunks` one by one (as separate reads) and returns the pieces handed on.
std::vector<Bytes> cut(bool leading, const std::vector<Bytes> &chunks) {
    FrameCut c(leading);
    std::vector<Bytes> out;
    for (const Bytes &b : chunks)
        c.feed(b.data(), b.size(), collect, &out);
    return out;
}

TEST(FrameCut, TrailingFlagFramesAreCutAtEveryFlagWhateverTheReads) {
    // Two frames glued in one read, then one split right after an escape.
    std::vector<Bytes> got =
        cut(false, {{0x01, 0x7D, 0x5E, 0x7E, 0x02, 0x03, 0x7E, 0x04, 0x7D}, {0x5D, 0x7E}});
    std::vector<Bytes> want = {
        {0x01, 0x7D, 0x5E, 0x7E}, {0x02, 0x03, 0x7E}, {0x04, 0x7D, 0x5D, 0x7E}};
    EXPECT_EQ(want, got);
    // A lone flag is a frame of its own (the dissector shows it as empty).
    EXPECT_EQ((std::vector<Bytes>{{0x7E}}), cut(false, {{0x7E}}));
}

TEST(FrameCut, CnsFramesRunFromOpeningToClosingFlagAndStrayBytesStandApart) {
    std::vector<Bytes> got = cut(true, {{0x55, 0x7E, 0x00, 0x0A}, {0x2B, 0x7E, 0x7E, 0x01, 0x7E}});
    std::vector<Bytes> want = {{0x55}, {0x7E, 0x00, 0x0A, 0x2B, 0x7E}, {0x7E, 0x01, 0x7E}};
    EXPECT_EQ(want, got);
}

TEST(FrameCut, AnOpenFrameIsHeldUntilFlushedAndAnOverlongRunIsPassedOnAtTheLimit) {
    FrameCut c(false);
    std::vector<Bytes> out;
    Bytes head = {0x10, 0x20};
    c.feed(head.data(), head.size(), collect, &out);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(2u, c.held());
    c.flush(collect, &out);
    EXPECT_EQ((std::vector<Bytes>{{0x10, 0x20}}), out);

    out.clear();
    Bytes run(kFrameCutMax + 3, 0x11);
    run.push_back(0x7E);
    c.feed(run.data(), run.size(), collect, &out);
    ASSERT_EQ(2u, out.size());
    EXPECT_EQ(kFrameCutMax, out[0].size());
    EXPECT_EQ((Bytes{0x11, 0x11, 0x11, 0x7E}), out[1]);
}

}  // namespace
