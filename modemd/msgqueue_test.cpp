#include "modemd/msgqueue.h"

#include <gtest/gtest.h>

#include <cstring>

#include "modemd/msg2cmd_testing.h"

namespace {

int g_seen_len;

int phone_handler(uint8_t *req, int req_len, uint8_t *reply, int cap) {
    g_seen_len = req_len;
    EXPECT_EQ(req, reply);
    EXPECT_EQ(1016, cap);
    memcpy(reply, "555123", 6);
    return 6;
}
int failing_handler(uint8_t *, int req_len, uint8_t *, int) {
    g_seen_len = req_len;
    return -1;
}
int greedy_handler(uint8_t *, int, uint8_t *, int) {
    return 5000;
}

class Dispatch : public ::testing::Test {
  protected:
    void SetUp() override {
        msg2cmd_init(&handlers_);
        ASSERT_NE(nullptr, register_msgcmd_handler(&handlers_, 6, phone_handler));
        ASSERT_NE(nullptr, register_msgcmd_handler(&handlers_, 8, failing_handler));
        ASSERT_NE(nullptr, register_msgcmd_handler(&handlers_, 9, greedy_handler));
        g_seen_len = -100;
    }
    void TearDown() override { msg2cmd_free_nodes(&handlers_); }
    msgcmd request(uint16_t cmd, uint32_t len) {
        msgcmd m{};
        m.mtype = 0x1234567;
        msgcmd_set_keyid(m, 0x4455);
        m.text[4] = 0xA1;  // reserved words, echoed
        m.text[7] = 0xA4;
        m.text[10] = 0xB1;
        m.text[11] = 0xB2;
        msgcmd_set_cmd(m, cmd);
        msgcmd_set_len(m, len);
        msgcmd_set_result(m, 77);
        return m;
    }
    msgcmd_link handlers_;
};

TEST_F(Dispatch, UnknownCommandGetsResult2AndA24ByteReply) {
    msgcmd m = request(200, 16);
    EXPECT_EQ(24, msgqueue_dispatch(m, 24, &handlers_));
    EXPECT_EQ(kResultNoHandler, msgcmd_result(m));
    EXPECT_EQ(12u, msgcmd_len(m));
}

TEST_F(Dispatch, OddReplyLengthIsRoundedUpAndHeaderEchoed) {
    msgcmd m = request(6, 16);
    EXPECT_EQ(32, msgqueue_dispatch(m, 24, &handlers_));
    EXPECT_EQ(4, g_seen_len);
    EXPECT_EQ(kResultOk, msgcmd_result(m));
    EXPECT_EQ(18u, msgcmd_len(m));
    EXPECT_EQ(0, memcmp("555123", msgcmd_data(m), 6));
    EXPECT_EQ(0x1234567, m.mtype);
    EXPECT_EQ(0x4455, msgcmd_keyid(m));
    EXPECT_EQ(6, msgcmd_cmd(m));
    EXPECT_EQ(0xA1, m.text[4]);
    EXPECT_EQ(0xA4, m.text[7]);
    EXPECT_EQ(0xB1, m.text[10]);
    EXPECT_EQ(0xB2, m.text[11]);
}

TEST_F(Dispatch, HandlerFailureGivesResult1AndLen11) {
    msgcmd m = request(8, 20);
    EXPECT_EQ(24, msgqueue_dispatch(m, 28, &handlers_));
    EXPECT_EQ(8, g_seen_len);
    EXPECT_EQ(kResultFailed, msgcmd_result(m));
    EXPECT_EQ(11u, msgcmd_len(m));
}

TEST_F(Dispatch, LenBelow12OrBeyondTheReceivedTextIsRefusedWithoutCallingTheHandler) {
    for (uint32_t len : {0u, 11u, 17u, 0xFFFFFFFFu}) {
        msgcmd m = request(6, len);
        EXPECT_EQ(24, msgqueue_dispatch(m, 24, &handlers_)) << len;  // 4 data bytes received
        EXPECT_EQ(kResultFailed, msgcmd_result(m)) << len;
        EXPECT_EQ(12u, msgcmd_len(m)) << len;
        EXPECT_EQ(-100, g_seen_len) << len;
    }
    msgcmd m = request(6, 16);  // exactly what was received
    msgqueue_dispatch(m, 24, &handlers_);
    EXPECT_EQ(4, g_seen_len);
}

TEST_F(Dispatch, ReplyNeverClaimsMoreThanTheDataArea) {
    msgcmd m = request(9, 16);
    EXPECT_EQ(static_cast<int>(24 + kMsgcmdDataMax), msgqueue_dispatch(m, 24, &handlers_));
    EXPECT_EQ(12u + kMsgcmdDataMax, msgcmd_len(m));
}

TEST_F(Dispatch, NoFamilySelectedAnswersResult2) {
    msgcmd m = request(6, 16);
    EXPECT_EQ(24, msgqueue_dispatch(m, 24, nullptr));
    EXPECT_EQ(kResultNoHandler, msgcmd_result(m));
}

}  // namespace
