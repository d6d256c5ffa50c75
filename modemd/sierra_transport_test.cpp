#include "modemd/sierra_transport.h"

#include <gtest/gtest.h>

#include <cstring>

#include "modemd/transport_testing.h"

namespace {

class SierraTransport : public ::testing::Test {
  protected:
    PeerCard card_;
};

TEST_F(SierraTransport, GetSendsTheRequestFrameAndReadsTheBigEndianValue) {
    card_.answer(sierra_answer(0x1000, 2, {0x8A, 0x1B, 0x2C, 0x3D}));
    uint32_t esn = 0;
    EXPECT_EQ(4, sierra_cns_get_int32(card_.port(), &esn, 0x1000));
    EXPECT_EQ(0x8A1B2C3Du, esn);
    EXPECT_EQ(stuffed({0x00, 0x0A, 0x2B, 0x00, 0x10, 0x00, 0x01, 0x00, 0x78, 0x56, 0x34, 0x12, 0x00,
                       0x00}),
              card_.received());
}

TEST_F(SierraTransport, SetSendsTheValueBigEndianAndNeedsASetAnswer) {
    card_.answer(sierra_answer(0x1027, 4, {0x01, 0x02}));
    EXPECT_EQ(2, sierra_cns_set_int16(card_.port(), 0x0102, 0x1027));
    EXPECT_EQ(stuffed({0x00, 0x0C, 0x2B, 0x00, 0x10, 0x27, 0x03, 0x00, 0x78, 0x56, 0x34, 0x12, 0x00,
                       0x02, 0x01, 0x02}),
              card_.received());
    card_.answer(sierra_answer(0x1027, 2, {0x01, 0x02}));
    EXPECT_EQ(-1, sierra_cns_set_int16(card_.port(), 0x0102, 0x1027));
}

TEST_F(SierraTransport, GetWithArgumentSendsItAsPayloadAndDoesNotCheckTheOperation) {
    card_.answer(sierra_answer(0x1038, 7, {0, 0, 0, 3, '1', '2', '3'}));
    uint8_t out[32];
    EXPECT_EQ(7, sierra_cns_get_xxx_arg(card_.port(), out, sizeof out, 0x1038, 0x0102));
    EXPECT_EQ(0, memcmp("123", out + 4, 3));
    EXPECT_EQ(stuffed({0x00, 0x0C, 0x2B, 0x00, 0x10, 0x38, 0x01, 0x00, 0x78, 0x56, 0x34, 0x12, 0x00,
                       0x02, 0x01, 0x02}),
              card_.received());
}

TEST_F(SierraTransport, NoticeEnableAndDisableUseOperations5And8) {
    card_.answer(sierra_answer(0x2000, 6, {}));
    EXPECT_EQ(0, sierra_cns_notice_enable_xxx(card_.port(), 0x2000, true));
    Bytes sent = card_.received();
    ASSERT_GT(sent.size(), 8u);
    EXPECT_EQ(5, sent[7]);
    card_.answer(sierra_answer(0x0000, 9, {}));
    EXPECT_EQ(0, sierra_cns_notice_enable_xxx(card_.port(), 0x0000, false));
    sent = card_.received();
    ASSERT_GT(sent.size(), 8u);
    EXPECT_EQ(8, sent[7]);
}

struct BadAnswer {
    const char *name;
    Bytes raw;
};

class SierraBadAnswer : public SierraTransport, public ::testing::WithParamInterface<BadAnswer> {};

TEST_P(SierraBadAnswer, FailsTheGet) {
    card_.answer(GetParam().raw);
    uint16_t v = 0;
    EXPECT_EQ(-1, sierra_cns_get_int16(card_.port(), &v, 0x1001));
}

Bytes fifteen_bytes() {
    Bytes raw = sierra_answer(0x1001, 2, {0x00});  // 17 raw bytes
    raw.resize(14);
    raw.push_back(0x7E);
    return raw;
}

INSTANTIATE_TEST_SUITE_P(
    Answers, SierraBadAnswer,
    ::testing::Values(BadAnswer{"Fifteen", fifteen_bytes()},
                      BadAnswer{"BeyondCapacity", sierra_answer(0x1001, 2, Bytes(200, 0x7E))},
                      BadAnswer{"DiagType", sierra_answer(0x1001, 2, {0, 75}, 0x6D)},
                      BadAnswer{"SetAnswerToAGet", sierra_answer(0x1001, 4, {0, 75})},
                      BadAnswer{"Notification", sierra_answer(0x0000, 7, {})},
                      BadAnswer{"FourBytesForA16BitValue", sierra_answer(0x1001, 2, {0, 0, 0, 1})},
                      BadAnswer{"PayloadShorterThanClaimed",
                                [] {
                                    Bytes d = {0,    12,   0x6B, 0,    0x10, 0x01, 2, 0,
                                               0x78, 0x56, 0x34, 0x12, 0,    40,   0, 75};
                                    return stuffed(d);
                                }()}),
    [](const ::testing::TestParamInfo<BadAnswer> &p) { return std::string(p.param.name); });

TEST_F(SierraTransport, Int32GetOfATwoByteObjectFails) {
    card_.answer(sierra_answer(0x1001, 2, {0x00, 0x4B}));
    uint32_t v;
    EXPECT_EQ(-1, sierra_cns_get_int32(card_.port(), &v, 0x1001));
}

TEST_F(SierraTransport, StringGetTerminatesAndEmptyFails) {
    char text[8];
    card_.answer(sierra_answer(0x1002, 2, {'5', '5', '5', '1', '2', '3', '4', '5', '6'}));
    EXPECT_EQ(7, sierra_cns_get_string(card_.port(), text, sizeof text, 0x1002));
    EXPECT_STREQ("5551234", text);  // cut to the room there is
    card_.answer(sierra_answer(0x1002, 2, {}));
    EXPECT_EQ(-1, sierra_cns_get_string(card_.port(), text, sizeof text, 0x1002));
    EXPECT_STREQ("", text);
}

TEST_F(SierraTransport, DiagPassesTheBytesInA2DFrameAndDropsTheAnswerHeader) {
    Bytes diag = {0x4B, 0x7E, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A};
    Bytes answer_data = {0x4B, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x7D, 0x11, 0x12, 0x13};
    Bytes d = {0x00, 0x0C, 0x6D, 0x00};
    d.insert(d.end(), answer_data.begin(), answer_data.end());
    card_.answer(stuffed(d));
    uint8_t frame[4 + 240];
    memcpy(frame + 4, diag.data(), diag.size());
    uint8_t answer[256];
    int n =
        sierra_diag_cmd(card_.port(), frame, static_cast<int>(diag.size()), answer, sizeof answer);
    ASSERT_EQ(12, n);
    EXPECT_EQ(answer_data, Bytes(answer, answer + n));
    Bytes req = {0x00, 0x0C, 0x2D, 0x00};
    req.insert(req.end(), diag.begin(), diag.end());
    EXPECT_EQ(stuffed(req), card_.received());
}

TEST_F(SierraTransport, NoAnswerWithinTwoSecondsFails) {
    uint16_t v;
    EXPECT_EQ(-1, sierra_cns_get_int16(card_.port(), &v, 0x1001));
}

TEST_F(SierraTransport, SetRefusesMoreThanTheRequestAreaHolds) {
    uint8_t big[231] = {};
    EXPECT_EQ(-1, sierra_cns_set_xxx(card_.port(), big, sizeof big, 0x1002));
    EXPECT_TRUE(card_.received().empty());
}

}  // namespace
