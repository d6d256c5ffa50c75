#include "common/hdlc.h"

#include <gtest/gtest.h>

#include <vector>

#include "common/fcs16.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes encode(const Bytes &frame) {
    Bytes out(hdlc_encoded_max(frame.size()));
    size_t n = hdlc_encode(frame.data(), frame.size(), out.data(), out.size());
    out.resize(n);
    return out;
}

struct Collector {
    std::vector<Bytes> frames;
    static void sink(void *ctx, const uint8_t *f, size_t n) {
        static_cast<Collector *>(ctx)->frames.emplace_back(f, f + n);
    }
};

// LCP Configure-Request, identifier 1, no options: C0 21 01 01 00 04.
const Bytes kConfReq = {0xC0, 0x21, 0x01, 0x01, 0x00, 0x04};

TEST(HdlcEncode, FixedVectorWithAddressControlAndCheck) {
    // FCS over FF 03 C0 21 01 01 00 04 is 0xB5D1 (sent D1 B5); 03, 01, 00 and 04 are escaped.
    const Bytes expect = {0x7E, 0xFF, 0x7D, 0x23, 0xC0, 0x21, 0x7D, 0x21, 0x7D,
                          0x21, 0x7D, 0x20, 0x7D, 0x24, 0xD1, 0xB5, 0x7E};
    EXPECT_EQ(expect, encode(kConfReq));
}

TEST(HdlcEncode, EscapesFlagEscapeAndEveryControlCharacter) {
    Bytes frame = {0x00, 0x21, 0x7E, 0x7D, 0x1F, 0x20, 0x7F, 0xFF};
    Bytes wire = encode(frame);
    ASSERT_FALSE(wire.empty());
    EXPECT_EQ(0x7E, wire.front());
    EXPECT_EQ(0x7E, wire.back());
    for (size_t i = 1; i + 1 < wire.size(); ++i) {
        EXPECT_NE(0x7E, wire[i]) << i;
        if (wire[i] == 0x7D)
            ++i;  // the escaped byte itself
        else
            EXPECT_GE(wire[i], 0x20) << "unescaped control byte at " << i;
    }
    // The information bytes appear as 7D 5E, 7D 5D, 7D 3F, then 20 7F FF as they are.
    const Bytes middle = {0x21, 0x7D, 0x5E, 0x7D, 0x5D, 0x7D, 0x3F, 0x20, 0x7F, 0xFF};
    EXPECT_NE(std::search(wire.begin(), wire.end(), middle.begin(), middle.end()), wire.end());
}

TEST(HdlcEncode, RefusesEmptyOversizedOrCrampedFrames) {
    uint8_t out[8192];
    Bytes big(kHdlcMaxFrame + 1, 0x41);
    EXPECT_EQ(0u, hdlc_encode(kConfReq.data(), 0, out, sizeof out));
    EXPECT_EQ(0u, hdlc_encode(big.data(), big.size(), out, sizeof out));
    EXPECT_EQ(0u, hdlc_encode(kConfReq.data(), kConfReq.size(), out, 10));
    EXPECT_NE(0u, hdlc_encode(big.data(), kHdlcMaxFrame, out, sizeof out));
}

class HdlcDecode : public ::testing::Test {
  protected:
    void feed(const Bytes &b) { dec_.feed(b.data(), b.size(), Collector::sink, &got_); }
    HdlcDecoder dec_;
    Collector got_;
};

TEST_F(HdlcDecode, RoundTripsEveryByteValue) {
    Bytes frame = {0x00, 0x21};
    for (int b = 0; b < 256; ++b)
        frame.push_back(static_cast<uint8_t>(b));
    feed(encode(frame));
    ASSERT_EQ(1u, got_.frames.size());
    EXPECT_EQ(frame, got_.frames[0]);
    EXPECT_EQ(0u, dec_.dropped());
}

TEST_F(HdlcDecode, FrameSplitAcrossReadsAtEveryPoint) {
    Bytes wire = encode({0xC0, 0x21, 0x05, 0x0F, 0x00, 0x06, 0x7E, 0x7D});
    for (size_t cut = 0; cut <= wire.size(); ++cut) {
        HdlcDecoder dec;
        Collector got;
        dec.feed(wire.data(), cut, Collector::sink, &got);
        dec.feed(wire.data() + cut, wire.size() - cut, Collector::sink, &got);
        ASSERT_EQ(1u, got.frames.size()) << "cut at " << cut;
        EXPECT_EQ((Bytes{0xC0, 0x21, 0x05, 0x0F, 0x00, 0x06, 0x7E, 0x7D}), got.frames[0]);
    }
}

// The wire form of `frame` sent without address and control bytes, check over what is sent.
Bytes encode_compressed(const Bytes &frame) {
    Bytes body = frame;
    uint16_t fcs = fcs16(body.data(), body.size());
    body.push_back(static_cast<uint8_t>(fcs));
    body.push_back(static_cast<uint8_t>(fcs >> 8));
    Bytes wire = {0x7E};
    for (uint8_t b : body) {
        if (b < 0x20 || b == 0x7E || b == 0x7D) {
            wire.push_back(0x7D);
            b ^= 0x20;
        }
        wire.push_back(b);
    }
    wire.push_back(0x7E);
    return wire;
}

TEST_F(HdlcDecode, AcceptsCompressedAddressAndControl) {
    feed(encode_compressed(kConfReq));  // C0 21 01 01 00 04 without FF 03
    ASSERT_EQ(1u, got_.frames.size());
    EXPECT_EQ(kConfReq, got_.frames[0]);
}

// Without FF 03 the two bytes kept for them hold frame data: a frame of up to
// kHdlcMaxFrame + 2 bytes fits the buffer, and must still be refused.
TEST_F(HdlcDecode, CompressedFrameLongerThanTheMaximumIsDroppedAndCounted) {
    // As found by fuzzing: 7E 7D 20 21, 1999 x 45, check, 7E; a 2001-byte frame.
    Bytes found = {0x00, 0x21};
    found.insert(found.end(), 1999, 0x45);
    Bytes wire = encode_compressed(found);
    ASSERT_EQ((Bytes{0x7E, 0x7D, 0x20, 0x21, 0x45}), Bytes(wire.begin(), wire.begin() + 5));
    EXPECT_EQ((Bytes{0xB2, 0x92, 0x7E}), Bytes(wire.end() - 3, wire.end()));  // as reported
    feed(wire);
    Bytes longest = found;
    longest.push_back(0x45);  // 2002 bytes: the whole buffer
    feed(encode_compressed(longest));
    EXPECT_TRUE(got_.frames.empty());
    EXPECT_EQ(2u, dec_.dropped());

    Bytes largest(found.begin(), found.end() - 1);  // exactly kHdlcMaxFrame
    feed(encode_compressed(largest));
    ASSERT_EQ(1u, got_.frames.size());
    EXPECT_EQ(kHdlcMaxFrame, got_.frames[0].size());
}

TEST_F(HdlcDecode, IgnoresNoiseBeforeTheFirstFlagAndSharedFlags) {
    Bytes wire = {'C', 'O', 'N', 'N', 'E', 'C', 'T', '\r', '\n'};
    Bytes one = encode(kConfReq), two = encode({0x80, 0x21, 0x02});
    wire.insert(wire.end(), one.begin(), one.end());
    wire.insert(wire.end(), two.begin() + 1, two.end());  // the closing flag opens the next
    wire.push_back(0x7E);                                 // and a flag of fill
    feed(wire);
    ASSERT_EQ(2u, got_.frames.size());
    EXPECT_EQ(kConfReq, got_.frames[0]);
    EXPECT_EQ((Bytes{0x80, 0x21, 0x02}), got_.frames[1]);
    EXPECT_EQ(0u, dec_.dropped());
}

TEST_F(HdlcDecode, DropsAndCountsBadFrames) {
    Bytes bad = encode(kConfReq);
    bad[4] ^= 0x01;  // corrupt a byte: the check fails
    feed(bad);
    feed({0x7E, 0xFF, 0x7D, 0x7E});  // aborted by 7D 7E
    feed({0x41, 0x42, 0x7E});        // too short for a check
    Bytes big(kHdlcMaxFrame + 8, 0x41);
    big.insert(big.begin(), 0x7E);
    big.push_back(0x7E);
    feed(big);  // too long
    EXPECT_TRUE(got_.frames.empty());
    EXPECT_EQ(4u, dec_.dropped());
    feed(encode(kConfReq));  // and the next good frame gets through
    ASSERT_EQ(1u, got_.frames.size());
    EXPECT_EQ(kConfReq, got_.frames[0]);
}

TEST_F(HdlcDecode, LongestFrameGetsThrough) {
    Bytes frame(kHdlcMaxFrame, 0x7E);
    frame[0] = 0x00;
    frame[1] = 0x21;
    feed(encode(frame));
    ASSERT_EQ(1u, got_.frames.size());
    EXPECT_EQ(frame, got_.frames[0]);
}

TEST_F(HdlcDecode, ResetHuntsForTheNextFlag) {
    Bytes wire = encode(kConfReq);
    feed(Bytes(wire.begin(), wire.begin() + 5));
    dec_.reset();
    feed(Bytes(wire.begin() + 5, wire.end()));  // the rest ends at a flag: hunting stops there
    feed(wire);
    ASSERT_EQ(1u, got_.frames.size());
    EXPECT_EQ(0u, dec_.dropped());
}

}  // namespace
