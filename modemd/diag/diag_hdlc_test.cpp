// The DIAG receive buffer over the common codec (common/stuffing_test.cpp tests the codec):
// the check value under its DIAG name, and the buffer's own capacity.
#include "modemd/diag/diag_hdlc.h"

#include <gtest/gtest.h>

#include <vector>

#include "modemd/diag/diag_crc.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The frame as the engine sends it: packet, check value by its DIAG name, stuffed, flag.
Bytes frame_of(const Bytes &packet) {
    Bytes raw = packet;
    uint16_t fcs = crc_16_l_calc(raw.data(), static_cast<uint16_t>(raw.size() * 8));
    raw.push_back(static_cast<uint8_t>(fcs));
    raw.push_back(static_cast<uint8_t>(fcs >> 8));
    Bytes out(stuff_frame_max(raw.size(), 0));
    int n = stuff_frame(raw.data(), raw.size(), 0, out.data(), out.size());
    out.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return out;
}

struct Received {
    std::vector<Bytes> good;
    size_t bad = 0;
    static void sink(void *self, const uint8_t *p, size_t len, bool ok) {
        auto *r = static_cast<Received *>(self);
        if (ok)
            r->good.emplace_back(p, p + len);
        else
            ++r->bad;
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

TEST(DiagCrc, CheckValueAndResidue) {
    const uint8_t text[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};
    EXPECT_EQ(0x906E, crc_16_l_calc(text, 72));
    const uint8_t framed[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9', 0x6E, 0x90};
    EXPECT_EQ(kDiagCrcResidue, crc_16_l_calc(framed, 88));
    EXPECT_EQ(0x0000, crc_16_l_calc(text, 0));  // the empty packet's check bytes are 00 00
}

TEST_F(RxDecode, FrameSplitAcrossReadsAndTheNextInTheSameReadArriveInOrder) {
    Bytes a = {0x4B, 0x7E, 0x0D, 0x7D, 0x00}, b = {0x0C, 1, 2};
    Bytes wire = frame_of(a);
    Bytes second(wire.begin() + 3, wire.end());
    Bytes next = frame_of(b);
    second.insert(second.end(), next.begin(), next.end());
    EXPECT_EQ(0, feed(Bytes(wire.begin(), wire.begin() + 3)));
    EXPECT_EQ(2, feed(second));
    ASSERT_EQ(2u, got_.good.size());
    EXPECT_EQ(a, got_.good[0]);
    EXPECT_EQ(b, got_.good[1]);
    EXPECT_EQ(0u, got_.bad);
}

TEST_F(RxDecode, LongestFrameFitsTheBuffer) {
    Bytes packet(kDiagFrameCap - 3, 0x7E);  // every byte escaped on the wire
    packet[0] = 0x4B;
    EXPECT_EQ(1, feed(frame_of(packet)));
    ASSERT_EQ(1u, got_.good.size());
    EXPECT_EQ(packet, got_.good[0]);
}

TEST_F(RxDecode, RunOfAFullFrameWithoutFlagIsDiscardedAndDecodingGoesOn) {
    Bytes junk(kDiagFrameCap, 0x41);
    Bytes next = {0x0C, 7};
    EXPECT_EQ(0, feed(junk));
    EXPECT_EQ(0u, buf_.rx.len);
    EXPECT_EQ(1, feed(frame_of(next)));
    ASSERT_EQ(1u, got_.good.size());
    EXPECT_EQ(next, got_.good[0]);
    EXPECT_EQ(0u, got_.bad);
}

}  // namespace
