// The Sierra family's use of the common codec (common/stuffing_test.cpp tests the codec): a
// flag on both sides, and a decode that drops the first and last byte whatever they are.
#include "modemd/cns.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes decode(const Bytes &in) {
    Bytes out(in.size());
    size_t len = 0;
    int got = cns_decode(in.data(), in.size(), out.data(), &len);
    EXPECT_EQ(static_cast<int>(len), got);
    out.resize(len);
    return out;
}

TEST(Cns, EncodePutsAFlagOnBothSides) {
    uint8_t out[8];
    size_t len = 0;
    const uint8_t data[] = {0x01, 0x7E};
    ASSERT_EQ(5, cns_encode(data, sizeof data, out, sizeof out, &len));
    EXPECT_EQ((Bytes{0x7E, 0x01, 0x7D, 0x5E, 0x7E}), Bytes(out, out + len));
    EXPECT_EQ(-1, cns_encode(data, sizeof data, out, 4, &len));
    EXPECT_EQ(5u, len);  // untouched by the refusal
}

TEST(Cns, DecodeDropsFirstAndLastWhateverTheyAre) {
    EXPECT_EQ((Bytes{0x01, 0x7E, 0x7D}), decode({0x7E, 0x01, 0x7D, 0x5E, 0x7D, 0x5D, 0x7E}));
    EXPECT_EQ((Bytes{0x02, 0x03}), decode({0xAA, 0x02, 0x03, 0xBB}));
    EXPECT_EQ(Bytes{}, decode({0x7E, 0x7E}));
    EXPECT_EQ(Bytes{}, decode({0x7E}));
    EXPECT_EQ((Bytes{0x01}), decode({0x7E, 0x01, 0x7D, 0x7E}));  // dangling escape dropped
}

TEST(Cns, DecodesInPlace) {
    Bytes frame = {0x7E, 0x7D, 0x5E, 0x7D, 0x5D, 0x05, 0x7E};
    size_t len = 0;
    EXPECT_EQ(3, cns_decode(frame.data(), frame.size(), frame.data(), &len));
    EXPECT_EQ((Bytes{0x7E, 0x7D, 0x05}), Bytes(frame.begin(), frame.begin() + 3));
}

}  // namespace
