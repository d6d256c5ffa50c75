#include "modemd/cns.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes encode(const Bytes &in, size_t cap = 64) {
    Bytes out(cap);
    size_t len = 0;
    if (cns_encode(in.data(), in.size(), out.data(), cap, &len) < 0) return {};
    out.resize(len);
    return out;
}

Bytes decode(const Bytes &in) {
    Bytes out(in.size());
    size_t len = 0;
    cns_decode(in.data(), in.size(), out.data(), &len);
    out.resize(len);
    return out;
}

TEST(Cns, EncodeEscapesFlagAndEscapeOnly) {
    EXPECT_EQ((Bytes{0x7E, 0x01, 0x7D, 0x5E, 0x7D, 0x5D, 0x7E}), encode({0x01, 0x7E, 0x7D}));
    EXPECT_EQ((Bytes{0x7E, 0x0D, 0x11, 0x13, 0x20, 0x7E}), encode({0x0D, 0x11, 0x13, 0x20}));
    EXPECT_EQ((Bytes{0x7E, 0x7E}), encode({}));
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

TEST(Cns, EncodeRefusesWhatDoesNotFitTheOutput) {
    Bytes all_flags(10, 0x7E);
    EXPECT_EQ(22u, encode(all_flags, 22).size());
    EXPECT_TRUE(encode(all_flags, 21).empty());
}

TEST(Cns, RoundTripsEveryByteValue) {
    Bytes all;
    for (int i = 0; i < 256; ++i)
        all.push_back(static_cast<uint8_t>(i));
    EXPECT_EQ(all, decode(encode(all, 600)));
}

}  // namespace
