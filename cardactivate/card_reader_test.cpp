// The fixed frames' check values, and what the activation tool adds to the common decoder:
// frames queued one by one across reads, a stray byte before a frame, fields read only from
// frames long enough.
#include "cardactivate/card_reader.h"

#include <gtest/gtest.h>

#include <vector>

#include "cardactivate/frames.h"
#include "common/fcs16.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Data, its check value (low byte first), the flag; 7E and 7D stuffed.
Bytes framed(const Bytes &data) {
    Bytes in = data;
    uint16_t fcs = fcs16(data.data(), data.size());
    in.push_back(static_cast<uint8_t>(fcs));
    in.push_back(static_cast<uint8_t>(fcs >> 8));
    Bytes out;
    for (uint8_t b : in) {
        if (b == 0x7E || b == 0x7D) {
            out.push_back(0x7D);
            out.push_back(b ^ 0x20);
        } else {
            out.push_back(b);
        }
    }
    out.push_back(0x7E);
    return out;
}

Bytes report(uint8_t state) {
    return {0x00, 0x00, 0x00, 0x00, 0x50, 0x00, 0x00, 0x05, 0x0A, 0x00, 0x00, 0x01, state};
}

Bytes frame_bytes(const CardFrame *f) {
    return f ? Bytes(f->data, f->data + f->len) : Bytes{};
}

TEST(CardFrames, EachFixedFrameCarriesItsOwnCheckValueAndFlag) {
    const CardCommand *all[] = {&command_startup,
                                &command_hello,
                                &commandGetPRLVersion,
                                &commandActivtionQuery,
                                &commandActivtion,
                                &commandKeepAlive,
                                &commandBye};
    for (const CardCommand *c : all) {
        size_t body = c == &command_startup ? c->len - 1 : c->len;  // startup: a 00 after
        EXPECT_EQ(c->bytes[body - 1], 0x7E);
        EXPECT_TRUE(fcs16_good(c->bytes, body - 1)) << "frame of " << c->len << " bytes";
        for (size_t i = 0; i + 1 < body; ++i)
            EXPECT_TRUE(c->bytes[i] != 0x7E && c->bytes[i] != 0x7D);
    }
    EXPECT_EQ(command_startup.len, 8u);
    EXPECT_EQ(command_startup.bytes[7], 0x00);
    EXPECT_EQ(command_hello.len, 20u);
    EXPECT_EQ(commandBye.len, 16u);
}

class Reader : public ::testing::Test {
  protected:
    void SetUp() override { card_reader_init(&r_); }
    int feed(const Bytes &b) { return card_reader_feed(&r_, b.data(), b.size()); }
    CardReader r_;
};

TEST_F(Reader, GluedFramesComeOutOneByOneAndASplitOneIsJoined) {
    Bytes two = framed(report(1));
    Bytes b = framed(report(2));
    two.insert(two.end(), b.begin(), b.end());
    EXPECT_EQ(feed(two), 2);
    Bytes split = framed(report(0x7E));  // its state byte is stuffed
    EXPECT_EQ(feed(Bytes(split.begin(), split.begin() + 13)), 0);
    EXPECT_EQ(feed(Bytes(split.begin() + 13, split.end())), 1);
    EXPECT_EQ(frame_bytes(card_reader_take(&r_)), report(1));
    EXPECT_EQ(frame_bytes(card_reader_take(&r_)), report(2));
    EXPECT_EQ(frame_bytes(card_reader_take(&r_)), report(0x7E));
    EXPECT_EQ(card_reader_take(&r_), nullptr);
}

TEST_F(Reader, OneStrayByteBeforeAFrameIsSkippedTwoAreNot) {
    Bytes one = {0x00};
    Bytes f = framed(report(3));
    one.insert(one.end(), f.begin(), f.end());
    EXPECT_EQ(feed(one), 1);
    EXPECT_EQ(frame_bytes(card_reader_take(&r_)), report(3));
    Bytes two = {0x00, 0x00};
    two.insert(two.end(), f.begin(), f.end());
    EXPECT_EQ(feed(two), 0);
    EXPECT_EQ(r_.dropped, 1u);
}

TEST_F(Reader, AFrameWithAWrongCheckValueIsDropped) {
    Bytes f = framed(report(4));
    f[f.size() - 2] ^= 0x01;
    EXPECT_EQ(feed(f), 0);
    EXPECT_EQ(card_reader_take(&r_), nullptr);
    EXPECT_EQ(feed(framed(report(5))), 1);  // the next frame is not spoilt
    EXPECT_EQ(frame_bytes(card_reader_take(&r_)), report(5));
}

TEST_F(Reader, AFullQueueDropsTheNewestFrames) {
    Bytes many;
    for (int i = 0; i < kCardQueue + 3; ++i) {
        Bytes f = framed(report(static_cast<uint8_t>(i)));
        many.insert(many.end(), f.begin(), f.end());
    }
    EXPECT_EQ(feed(many), kCardQueue);
    EXPECT_EQ(r_.dropped, 3u);
    EXPECT_EQ(frame_bytes(card_reader_take(&r_)), report(0));
}

TEST(CardFields, ReadOnlyFromFramesLongEnough) {
    CardFrame f = {};
    Bytes full = {0x00, 0x00, 0x00, 0x00, 0x2D, 0x00, 0x00, 0x04,
                  0x0A, 0x00, 0x00, 0x09, 0x01, 0x12, 0x34};
    std::copy(full.begin(), full.end(), f.data);
    int channel = -1, type = -1, version = -1;

    f.len = 11;
    EXPECT_FALSE(card_frame_kind(&f, &channel, &type));
    f.len = 12;
    EXPECT_TRUE(card_frame_kind(&f, &channel, &type));
    EXPECT_EQ(channel, 10);
    EXPECT_EQ(type, 9);
    EXPECT_EQ(card_frame_state(&f), -1);
    f.len = 13;
    EXPECT_EQ(card_frame_state(&f), 0x01);
    f.len = 14;
    EXPECT_FALSE(card_frame_prl(&f, &version));
    f.data[14] = 0x01;  // the hello byte sits where the PRL version's low byte is
    EXPECT_FALSE(card_frame_hello_ok(&f));
    f.len = 15;
    EXPECT_TRUE(card_frame_hello_ok(&f));
    EXPECT_TRUE(card_frame_prl(&f, &version));
    EXPECT_EQ(version, 0x1201);
}

TEST(CardFields, PrlReplyTypeNineInEitherByteOrderOnChannelTen) {
    CardFrame f = {};
    Bytes le = {0x00, 0x00, 0x00, 0x00, 0x2D, 0x00, 0x00, 0x04,
                0x0A, 0x00, 0x09, 0x00, 0x00, 0x00, 0x2A};
    std::copy(le.begin(), le.end(), f.data);
    f.len = 15;
    int version = -1;
    EXPECT_TRUE(card_frame_prl(&f, &version));
    EXPECT_EQ(version, 42);
    f.data[8] = 0x00;  // the control channel: not the reply
    EXPECT_FALSE(card_frame_prl(&f, &version));
    f.data[8] = 0x0A;
    f.data[10] = 0x01;  // type 0x0100 / 0x0001
    EXPECT_FALSE(card_frame_prl(&f, &version));
}

}  // namespace
