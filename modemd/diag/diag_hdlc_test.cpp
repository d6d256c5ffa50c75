#include "modemd/diag/diag_hdlc.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "modemd/diag/diag_crc.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes frame_of(const Bytes &packet) {
    Bytes raw = packet;
    uint16_t fcs = crc_16_l_calc(raw.data(), static_cast<uint16_t>(raw.size() * 8));
    raw.push_back(static_cast<uint8_t>(fcs));
    raw.push_back(static_cast<uint8_t>(fcs >> 8));
    Bytes out(2 * raw.size() + 1);
    size_t n = diag_hdlc_encode(kDiagFlag, kDiagEscape, kDiagEscapeXor, raw.data(), out.data(),
                                raw.size(), out.size(), nullptr);
    out.resize(n);
    out.push_back(kDiagFlag);
    return out;
}

Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes &p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// Collects what the receiver hands on.
struct Received {
    std::vector<Bytes> good;
    std::vector<Bytes> bad;
    static void sink(void *self, const uint8_t *p, size_t len, bool ok) {
        auto *r = static_cast<Received *>(self);
        (ok ? r->good : r->bad).emplace_back(p, p + len);
    }
};

class RxDecode : public ::testing::Test {
  protected:
    void SetUp() override { diag_rx_reset(&buf_); }
    int feed(const Bytes &bytes) {
        return diag_rx_decode(&buf_, bytes.data(), bytes.size(), Received::sink, &got_);
    }
    diag_rx_buffer buf_;
    Received got_;
};

// A packet holding both special bytes whose own check sequence holds one too.
Bytes packet_with_special_fcs() {
    for (int x = 0; x < 256; ++x) {
        Bytes p = {0x4B, 0x7E, 0x0D, 0x7D, static_cast<uint8_t>(x)};
        uint16_t fcs = crc_16_l_calc(p.data(), 40);
        uint8_t lo = static_cast<uint8_t>(fcs), hi = static_cast<uint8_t>(fcs >> 8);
        if (lo == 0x7E || lo == 0x7D || hi == 0x7E || hi == 0x7D) return p;
    }
    return {};
}

TEST(DiagCrc, CheckValueAndResidue) {
    const uint8_t text[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(0x906E, crc_16_l_calc(text, 72));
    const uint8_t framed[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9', 0x6E, 0x90};
    EXPECT_EQ(kDiagCrcResidue, crc_16_l_calc(framed, 88));
    EXPECT_EQ(0x0000, crc_16_l_calc(text, 0));  // the empty packet's check bytes are 00 00
}

TEST(DiagEncode, EscapesOnlyFlagAndEscape) {
    const uint8_t src[] = {0x01, 0x7E, 0x7D, 0x5E, 0x20};
    uint8_t dst[16];
    size_t consumed = 0;
    size_t n = diag_hdlc_encode(0x7E, 0x7D, 0x20, src, dst, sizeof src, sizeof dst, &consumed);
    EXPECT_EQ(Bytes({0x01, 0x7D, 0x5E, 0x7D, 0x5D, 0x5E, 0x20}), Bytes(dst, dst + n));
    EXPECT_EQ(sizeof src, consumed);
}

TEST(DiagEncode, SmallDestinationStopsBeforeAByteThatMightNotFit) {
    const uint8_t src[] = {0x7E, 0x7E, 0x7E, 0x7E};
    uint8_t dst[5] = {};
    size_t consumed = 0;
    size_t n = diag_hdlc_encode(0x7E, 0x7D, 0x20, src, dst, sizeof src, sizeof dst, &consumed);
    EXPECT_EQ(4u, n);
    EXPECT_EQ(2u, consumed);
}

TEST_F(RxDecode, PacketWithSpecialBytesInDataAndCheckComesBackExactly) {
    Bytes packet = packet_with_special_fcs();
    ASSERT_FALSE(packet.empty());
    Bytes wire = frame_of(packet);
    EXPECT_GE(wire.size(), packet.size() + 2 + 1 + 3);  // three escapes at least
    EXPECT_EQ(1, feed(wire));
    ASSERT_EQ(1u, got_.good.size());
    EXPECT_EQ(packet, got_.good[0]);
}

TEST(DiagDecodeSplit, EverySplitPointOfAFrameDecodesOnce) {
    Bytes packet = packet_with_special_fcs();
    Bytes wire = frame_of(packet);
    for (size_t at = 1; at < wire.size(); ++at) {
        diag_rx_buffer buf;
        diag_rx_reset(&buf);
        Received got;
        diag_rx_decode(&buf, wire.data(), at, Received::sink, &got);
        diag_rx_decode(&buf, wire.data() + at, wire.size() - at, Received::sink, &got);
        ASSERT_EQ(1u, got.good.size()) << "split at " << at;
        EXPECT_EQ(packet, got.good[0]) << "split at " << at;
        EXPECT_TRUE(got.bad.empty()) << "split at " << at;
    }
}

TEST_F(RxDecode, SplitRightAfterAnEscapeCarriesTheEscape) {
    Bytes packet = {0x10, 0x7D, 0x20};
    Bytes wire = frame_of(packet);
    ASSERT_EQ(0x7D, wire[1]);
    feed(Bytes(wire.begin(), wire.begin() + 2));
    EXPECT_EQ(1, buf_.escape_pending);
    EXPECT_EQ(1, feed(Bytes(wire.begin() + 2, wire.end())));
    ASSERT_EQ(1u, got_.good.size());
    EXPECT_EQ(packet, got_.good[0]);
}

TEST_F(RxDecode, TwoFramesInOneReadArriveInOrder) {
    Bytes a = {0x0C, 1, 2}, b = {0x4B, 0x0D, 4, 0};
    EXPECT_EQ(2, feed(concat({frame_of(a), frame_of(b)})));
    ASSERT_EQ(2u, got_.good.size());
    EXPECT_EQ(a, got_.good[0]);
    EXPECT_EQ(b, got_.good[1]);
}

TEST_F(RxDecode, CorruptedFrameIsDroppedAndTheNextDelivered) {
    Bytes a = {0x0C, 1, 2, 3}, b = {0x63, 9};
    Bytes bad = frame_of(a);
    bad[2] ^= 0x04;
    EXPECT_EQ(1, feed(concat({bad, frame_of(b)})));
    ASSERT_EQ(1u, got_.good.size());
    EXPECT_EQ(b, got_.good[0]);
    EXPECT_EQ(1u, got_.bad.size());
}

TEST_F(RxDecode, LoneFlagIsOnlyASeparator) {
    EXPECT_EQ(0, feed({0x7E}));
    EXPECT_TRUE(got_.good.empty());
    EXPECT_TRUE(got_.bad.empty());
    EXPECT_EQ(0u, buf_.frame_len);
}

TEST_F(RxDecode, FrameOfOnlyTheCheckBytesIsAGoodEmptyPacket) {
    EXPECT_EQ(1, feed({0x00, 0x00, 0x7E}));
    ASSERT_EQ(1u, got_.good.size());
    EXPECT_TRUE(got_.good[0].empty());
}

TEST_F(RxDecode, FramesTooShortToHoldACheckAreNeverGood) {
    for (int x = 0; x < 256; ++x) {
        if (x == 0x7E || x == 0x7D) continue;
        feed({static_cast<uint8_t>(x), 0x7E});
    }
    EXPECT_TRUE(got_.good.empty());
    EXPECT_EQ(254u, got_.bad.size());
}

// An escape directly followed by a flag ends the frame: it neither holds the decoder nor
// joins the frame to the next one.
TEST_F(RxDecode, EscapeThenFlagVoidsTheFrameAndTheNextIsDelivered) {
    Bytes next = {0x00, 0x55};
    EXPECT_EQ(1, feed(concat({{0x4B, 0x0D, 0x7D, 0x7E}, frame_of(next)})));
    ASSERT_EQ(1u, got_.good.size());
    EXPECT_EQ(next, got_.good[0]);
    EXPECT_EQ(1u, got_.bad.size());
}

TEST_F(RxDecode, EscapeEndingAReadThenFlagVoidsTheFrameAndTheNextIsDelivered) {
    Bytes next = {0x00, 0x55};
    EXPECT_EQ(0, feed({0x4B, 0x0D, 0x7D}));
    EXPECT_EQ(1, feed(concat({{0x7E}, frame_of(next)})));
    ASSERT_EQ(1u, got_.good.size());
    EXPECT_EQ(next, got_.good[0]);
    EXPECT_EQ(0, buf_.escape_pending);
}

TEST_F(RxDecode, RunOfAFullFrameWithoutFlagIsDiscardedAndDecodingGoesOn) {
    Bytes junk(kDiagFrameCap, 0x41);
    Bytes next = {0x0C, 7};
    EXPECT_EQ(0, feed(junk));
    EXPECT_EQ(0u, buf_.frame_len);
    EXPECT_EQ(1, feed(frame_of(next)));
    ASSERT_EQ(1u, got_.good.size());
    EXPECT_EQ(next, got_.good[0]);
}

TEST_F(RxDecode, LongestFrameFitsTheBuffer) {
    Bytes packet(kDiagFrameCap - 3, 0x7E);  // every byte escaped on the wire
    packet[0] = 0x4B;
    EXPECT_EQ(1, feed(frame_of(packet)));
    ASSERT_EQ(1u, got_.good.size());
    EXPECT_EQ(packet, got_.good[0]);
}

TEST(DiagDecode, StopsWhenTheRoomIsFull) {
    const uint8_t src[] = {1, 2, 0x7D, 0x5E, 4, 0x7E};
    uint8_t dst[3];
    uint8_t pending = 0;
    int end = -1;
    size_t consumed = 0;
    size_t n = diag_hdlc_decode(0x7E, 0x7D, 0x20, src, dst, sizeof src, sizeof dst, &end, &pending,
                                &consumed);
    EXPECT_EQ(3u, n);
    EXPECT_EQ(4u, consumed);
    EXPECT_EQ(kDiagNoEnd, end);
    EXPECT_EQ(Bytes({1, 2, 0x7E}), Bytes(dst, dst + n));
}

}  // namespace
