#include "common/stuffing.h"

#include <gtest/gtest.h>

#include <vector>

#include "common/fcs16.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes frame(const Bytes &data, unsigned options, size_t cap = 0) {
    Bytes out(cap ? cap : stuff_frame_max(data.size(), options));
    int n = stuff_frame(data.data(), data.size(), options, out.data(), out.size());
    if (n < 0) return {};
    out.resize(static_cast<size_t>(n));
    return out;
}

Bytes unstuffed(const Bytes &in) {
    Bytes out(in.size());
    out.resize(unstuff(in.data(), in.size(), out.data()));
    return out;
}

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes &p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

Bytes every_byte_value() {
    Bytes all;
    for (int i = 0; i < 256; ++i)
        all.push_back(static_cast<uint8_t>(i));
    return all;
}

// A packet holding both special bytes whose own check value holds one too.
Bytes packet_with_special_fcs() {
    for (int x = 0; x < 256; ++x) {
        Bytes p = {0x4B, 0x7E, 0x0D, 0x7D, static_cast<uint8_t>(x)};
        uint16_t fcs = fcs16(p.data(), p.size());
        uint8_t lo = static_cast<uint8_t>(fcs), hi = static_cast<uint8_t>(fcs >> 8);
        if (lo == 0x7E || lo == 0x7D || hi == 0x7E || hi == 0x7D) return p;
    }
    return {};
}

// ---- encoding ----

TEST(StuffEncode, EscapesFlagAndEscapeOnly) {
    EXPECT_EQ((Bytes{0x7E, 0x01, 0x7D, 0x5E, 0x7D, 0x5D, 0x7E}),
              frame({0x01, 0x7E, 0x7D}, kStuffOpenFlag));
    EXPECT_EQ((Bytes{0x7E, 0x0D, 0x11, 0x13, 0x20, 0x7E}),
              frame({0x0D, 0x11, 0x13, 0x20}, kStuffOpenFlag));
    EXPECT_EQ((Bytes{0x01, 0x7D, 0x5E, 0x7D, 0x5D, 0x5E, 0x20, 0x7E}),
              frame({0x01, 0x7E, 0x7D, 0x5E, 0x20}, 0));
    EXPECT_EQ((Bytes{0x7E, 0x7E}), frame({}, kStuffOpenFlag));
    EXPECT_EQ((Bytes{0x7E}), frame({}, 0));
}

TEST(StuffEncode, CheckValueFollowsTheDataLowByteFirstAndIsStuffedToo) {
    EXPECT_EQ((Bytes{'1', '2', '3', '4', '5', '6', '7', '8', '9', 0x6E, 0x90, 0x7E}),
              frame({'1', '2', '3', '4', '5', '6', '7', '8', '9'}, kStuffFcs));
    EXPECT_EQ((Bytes{0x00, 0x00, 0x7E}), frame({}, kStuffFcs));  // no data: check bytes 00 00

    Bytes packet = packet_with_special_fcs();
    ASSERT_FALSE(packet.empty());
    Bytes wire = frame(packet, kStuffFcs | kStuffOpenFlag);
    EXPECT_EQ(0x7E, wire.front());
    EXPECT_GE(wire.size(), 1 + packet.size() + 2 + 1 + 3);  // three escapes at least
    Bytes inside = unstuffed(Bytes(wire.begin() + 1, wire.end() - 1));
    ASSERT_EQ(packet.size() + 2, inside.size());
    EXPECT_EQ(packet, Bytes(inside.begin(), inside.end() - 2));
    EXPECT_TRUE(fcs16_good(inside.data(), inside.size()));
}

TEST(StuffEncode, RefusesAFrameOneByteTooLongForTheOutput) {
    Bytes all_flags(10, 0x7E);
    EXPECT_EQ(22u, frame(all_flags, kStuffOpenFlag, 22).size());
    EXPECT_TRUE(frame(all_flags, kStuffOpenFlag, 21).empty());
    // With the check value the boundary is exact as well, whatever the data.
    for (const Bytes &data : {every_byte_value(), packet_with_special_fcs(), Bytes{}}) {
        size_t need = frame(data, kStuffFcs).size();
        EXPECT_EQ(need, frame(data, kStuffFcs, need).size());
        EXPECT_TRUE(frame(data, kStuffFcs, need - 1).empty()) << need;
    }
    uint8_t out[8];
    EXPECT_EQ(-1, stuff_frame(nullptr, 0, kStuffOpenFlag, out, 1));
    EXPECT_EQ(-1, stuff_frame(nullptr, 0, 0, out, 0));
    // A capacity beyond what an int counts is no reason to refuse (nothing past the frame is
    // touched).
    const uint8_t three[] = {1, 0x7D, 3};
    EXPECT_EQ(5, stuff_frame(three, sizeof three, 0, out, SIZE_MAX));
}

TEST(StuffEncode, PartialStuffingStopsAtTheFirstByteThatDoesNotFit) {
    const uint8_t flags[] = {0x7E, 0x7E, 0x7E, 0x7E};
    uint8_t dst[5] = {};
    size_t consumed = 0;
    EXPECT_EQ(4u, stuff_bytes(flags, sizeof flags, dst, sizeof dst, &consumed));
    EXPECT_EQ(2u, consumed);
    const uint8_t mixed[] = {0x01, 0x02, 0x7D, 0x03};
    EXPECT_EQ(2u, stuff_bytes(mixed, sizeof mixed, dst, 3, &consumed));  // 7D needs two
    EXPECT_EQ(2u, consumed);
    EXPECT_EQ(2u, stuff_bytes(mixed, 2, dst, 2, nullptr));  // plain bytes fill it exactly
}

// ---- whole-frame decoding ----

TEST(Unstuff, UndoesEveryEscapeAndKeepsAFlagInsideAsData) {
    EXPECT_EQ((Bytes{0x01, 0x7E, 0x7D}), unstuffed({0x01, 0x7D, 0x5E, 0x7D, 0x5D}));
    EXPECT_EQ((Bytes{0x01, 0x7E, 0x02}), unstuffed({0x01, 0x7E, 0x02}));
    EXPECT_EQ((Bytes{0x4B, 0x5E, 0x03}), unstuffed({0x4B, 0x7D, 0x7E, 0x03}));  // escape applies
    EXPECT_EQ((Bytes{0x5D}), unstuffed({0x7D, 0x7D}));
    EXPECT_EQ((Bytes{0x01}), unstuffed({0x01, 0x7D}));  // dangling escape dropped
    EXPECT_EQ(Bytes{}, unstuffed({}));
}

TEST(Unstuff, DecodesInPlace) {
    Bytes buf = {0x7D, 0x5E, 0x7D, 0x5D, 0x05, 0x7E, 0x7D, 0x31};
    EXPECT_EQ(5u, unstuff(buf.data(), buf.size(), buf.data()));
    EXPECT_EQ((Bytes{0x7E, 0x7D, 0x05, 0x7E, 0x11}), Bytes(buf.begin(), buf.begin() + 5));
}

TEST(Unstuff, RoundTripsEveryByteValueWithAndWithoutCheck) {
    Bytes all = every_byte_value();
    Bytes plain = frame(all, kStuffOpenFlag);
    EXPECT_EQ(all, unstuffed(Bytes(plain.begin() + 1, plain.end() - 1)));
    Bytes checked = frame(all, kStuffFcs);
    Bytes inside = unstuffed(Bytes(checked.begin(), checked.end() - 1));
    ASSERT_TRUE(fcs16_good(inside.data(), inside.size()));
    EXPECT_EQ(all, Bytes(inside.begin(), inside.end() - 2));
}

TEST(Fcs16Good, NeedsTheTwoCheckBytesAndTheirRightValue) {
    const uint8_t ok[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9', 0x6E, 0x90};
    EXPECT_TRUE(fcs16_good(ok, sizeof ok));
    EXPECT_FALSE(fcs16_good(ok, sizeof ok - 1));
    const uint8_t empty_packet[] = {0x00, 0x00};
    EXPECT_TRUE(fcs16_good(empty_packet, 2));
    EXPECT_FALSE(fcs16_good(empty_packet, 1));
    EXPECT_FALSE(fcs16_good(empty_packet, 0));
    uint8_t bad[sizeof ok];
    std::copy(ok, ok + sizeof ok, bad);
    bad[4] ^= 0x40;
    EXPECT_FALSE(fcs16_good(bad, sizeof bad));
}

// ---- decoding across reads ----

struct Received {
    std::vector<Bytes> good;
    std::vector<Bytes> bad;
    static void sink(void *self, const uint8_t *p, size_t len, bool ok) {
        auto *r = static_cast<Received *>(self);
        (ok ? r->good : r->bad).emplace_back(p, p + len);
    }
};

Bytes wire_of(const Bytes &packet) {
    return frame(packet, kStuffFcs);
}

class StuffRxTest : public ::testing::Test {
  protected:
    void SetUp() override { stuff_rx_init(&rx_, frame_, sizeof frame_); }
    int feed(const Bytes &bytes) {
        return stuff_rx_decode(&rx_, bytes.data(), bytes.size(), Received::sink, &got_);
    }
    uint8_t frame_[64];
    StuffRx rx_;
    Received got_;
};

TEST_F(StuffRxTest, PacketWithSpecialBytesInDataAndCheckComesBackExactly) {
    Bytes packet = packet_with_special_fcs();
    EXPECT_EQ(1, feed(wire_of(packet)));
    ASSERT_EQ(1u, got_.good.size());
    EXPECT_EQ(packet, got_.good[0]);
    EXPECT_TRUE(got_.bad.empty());
}

TEST(StuffRxSplit, EverySplitPointOfTwoFramesDecodesEachOnce) {
    Bytes a = packet_with_special_fcs(), b = {0x7D, 0x00, 0x7E};
    Bytes wire = concat({wire_of(a), wire_of(b)});
    for (size_t at = 1; at < wire.size(); ++at) {
        uint8_t buf[64];
        StuffRx rx;
        stuff_rx_init(&rx, buf, sizeof buf);
        Received got;
        int good = stuff_rx_decode(&rx, wire.data(), at, Received::sink, &got);
        good += stuff_rx_decode(&rx, wire.data() + at, wire.size() - at, Received::sink, &got);
        EXPECT_EQ(2, good) << "split at " << at;
        ASSERT_EQ(2u, got.good.size()) << "split at " << at;
        EXPECT_EQ(a, got.good[0]) << "split at " << at;
        EXPECT_EQ(b, got.good[1]) << "split at " << at;
        EXPECT_TRUE(got.bad.empty()) << "split at " << at;
    }
}

TEST_F(StuffRxTest, AReadEndingInAnEscapeCarriesItToTheNext) {
    Bytes packet = {0x10, 0x7D, 0x20};
    Bytes wire = wire_of(packet);
    ASSERT_EQ(0x7D, wire[1]);
    EXPECT_EQ(0, feed(Bytes(wire.begin(), wire.begin() + 2)));
    EXPECT_EQ(1, rx_.escape_pending);
    EXPECT_EQ(1, feed(Bytes(wire.begin() + 2, wire.end())));
    ASSERT_EQ(1u, got_.good.size());
    EXPECT_EQ(packet, got_.good[0]);
}

TEST_F(StuffRxTest, CorruptedFrameIsPassedAsBadAndTheNextDelivered) {
    Bytes a = {0x0C, 1, 2, 3}, b = {0x63, 9};
    Bytes bad = wire_of(a);
    bad[2] ^= 0x04;
    EXPECT_EQ(1, feed(concat({bad, wire_of(b)})));
    ASSERT_EQ(1u, got_.good.size());
    EXPECT_EQ(b, got_.good[0]);
    ASSERT_EQ(1u, got_.bad.size());
    EXPECT_EQ(Bytes(bad.begin(), bad.end() - 1), got_.bad[0]);  // as received, without flag
}

TEST_F(StuffRxTest, LoneFlagsAreOnlySeparatorsAndTheCheckBytesAloneAreAnEmptyPacket) {
    EXPECT_EQ(0, feed({0x7E, 0x7E}));
    EXPECT_TRUE(got_.good.empty());
    EXPECT_TRUE(got_.bad.empty());
    EXPECT_EQ(0u, rx_.len);
    EXPECT_EQ(1, feed({0x00, 0x00, 0x7E}));
    ASSERT_EQ(1u, got_.good.size());
    EXPECT_TRUE(got_.good[0].empty());
}

TEST_F(StuffRxTest, FramesTooShortToHoldACheckAreNeverGood) {
    for (int x = 0; x < 256; ++x) {
        if (x == 0x7E || x == 0x7D) continue;
        feed({static_cast<uint8_t>(x), 0x7E});
    }
    EXPECT_TRUE(got_.good.empty());
    EXPECT_EQ(254u, got_.bad.size());
}

// An escape directly followed by a flag ends the frame: it neither holds the decoder nor
// joins the frame to the next one, in one read or across two.
TEST_F(StuffRxTest, EscapeThenFlagVoidsTheFrameAndTheNextIsDelivered) {
    Bytes next = {0x00, 0x55};
    EXPECT_EQ(1, feed(concat({{0x4B, 0x0D, 0x7D, 0x7E}, wire_of(next)})));
    EXPECT_EQ(0, feed({0x4B, 0x0D, 0x7D}));
    EXPECT_EQ(1, feed(concat({{0x7E}, wire_of(next)})));
    EXPECT_EQ(0, rx_.escape_pending);
    ASSERT_EQ(2u, got_.good.size());
    EXPECT_EQ(next, got_.good[1]);
    ASSERT_EQ(2u, got_.bad.size());
    EXPECT_EQ((Bytes{0x4B, 0x0D}), got_.bad[0]);
    EXPECT_EQ((Bytes{0x4B, 0x0D}), got_.bad[1]);
}

TEST_F(StuffRxTest, LongestFrameFitsAndABufferfulWithoutAFlagIsDiscardedSilently) {
    Bytes longest(sizeof frame_ - 3, 0x7E);  // data, check and flag fill the buffer exactly
    EXPECT_EQ(1, feed(wire_of(longest)));
    ASSERT_EQ(1u, got_.good.size());
    EXPECT_EQ(longest, got_.good[0]);

    Bytes junk(sizeof frame_, 0x41);  // a buffer's worth without a flag
    Bytes next = {0x0C, 7};
    EXPECT_EQ(0, feed(junk));
    EXPECT_EQ(0u, rx_.len);
    EXPECT_TRUE(got_.bad.empty());
    EXPECT_EQ(1, feed(wire_of(next)));
    ASSERT_EQ(2u, got_.good.size());
    EXPECT_EQ(next, got_.good[1]);
}

TEST(UnstuffStep, StopsWhenTheRoomIsFullAndAtAFlag) {
    const uint8_t src[] = {1, 2, 0x7D, 0x5E, 4, 0x7E, 9};
    uint8_t dst[8];
    uint8_t pending = 0;
    StuffEnd end = kStuffFrameAbort;
    size_t consumed = 0;
    size_t n = unstuff_step(src, sizeof src, dst, 3, &end, &pending, &consumed);
    EXPECT_EQ(3u, n);
    EXPECT_EQ(4u, consumed);
    EXPECT_EQ(kStuffNoEnd, end);
    EXPECT_EQ((Bytes{1, 2, 0x7E}), Bytes(dst, dst + n));
    n = unstuff_step(src + 4, sizeof src - 4, dst, sizeof dst, &end, &pending, &consumed);
    EXPECT_EQ(kStuffFrameEnd, end);
    EXPECT_EQ(2u, consumed);
    EXPECT_EQ((Bytes{4, 0x7E}), Bytes(dst, dst + n));
}

}  // namespace
