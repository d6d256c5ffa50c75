// Datagram building and parsing, and the bounds of what fits the transmit buffer.
#include "rmagent/protocol.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/bytes.h"
#include "platform/nvram_testing.h"
#include "rmagent/batch.h"
#include "rmagent/ports.h"
#include "tests/support/testsupport.h"

namespace {

class Protocol : public ::testing::Test {
  protected:
    void SetUp() override {
        nvram_testing_forget();  // the session reads nvram: under this test's router root
        s_ = rcm_session_new();
        ASSERT_NE(nullptr, s_);
    }
    void TearDown() override {
        rcm_session_free(s_);
        nvram_testing_forget();
    }
    testsupport::TempRouterRoot root_;
    rcm_session *s_ = nullptr;
};

TEST_F(Protocol, HeaderParseRefusesShortDatagramsAndLengthsBeyondTheBytes) {
    uint8_t buf[40] = {};
    rcm_header h;
    EXPECT_EQ(kRcmTooShort, rcm_parse_header(buf, 35, &h));
    put_be16(buf + 34, 4);
    EXPECT_EQ(kRcmParsed, rcm_parse_header(buf, 40, &h));
    put_be16(buf + 34, 5);
    EXPECT_EQ(kRcmBadLength, rcm_parse_header(buf, 40, &h));
    EXPECT_EQ(5, h.payloadlen);
}

TEST_F(Protocol, FragmentRequestUsesTheSeqThenAdvancesItForTheNextDatagram) {
    s_->seq = 41;
    memcpy(s_->session_id, "ABCDEFGH", 8);
    EXPECT_EQ(40u, rcm_build_fragment_request(s_, 0x0102));
    const uint8_t expect[12] = {0, 0, 0, 41, 0, 6, 0, 2, 0, 0x6B, 0, 4};
    EXPECT_EQ(0, memcmp(expect, s_->tx_buf + 24, 12));
    const uint8_t payload[4] = {0x01, 0x02, 0, 0};
    EXPECT_EQ(0, memcmp(payload, s_->tx_buf + 36, 4));
    EXPECT_EQ(0, memcmp("ABCDEFGH", s_->tx_buf, 8));
    rcm_build_header(s_, kOidKeepalive, kKindRequest, 0);
    EXPECT_EQ(42u, get_be32(s_->tx_buf + 24));
}

TEST_F(Protocol, HeaderKeepsTheVersionBytesTheBufferHolds) {
    EXPECT_EQ(kRcmHeaderLen + kRegisterRecordLen, rcm_build_register(s_, 1, ""));
    rcm_build_header(s_, kOidKeepalive, kKindRequest, 0);
    const uint8_t version[4] = {0, 1, 0, 0};
    EXPECT_EQ(0, memcmp(version, s_->tx_buf + 8, 4));
    const uint8_t unset_wan[4] = {0xFF, 0xFF, 0xFF, 0xFF};  // inet_network("") fails
    EXPECT_EQ(kRcmHeaderLen + kRegisterRecordLen, rcm_build_register(s_, 1, ""));
    EXPECT_EQ(0, memcmp(unset_wan, s_->tx_buf + 40, 4));
}

TEST_F(Protocol, TwelveCharacterSerialHasNoTerminator) {
    strcpy(s_->serial, "123456789012");
    rcm_build_header(s_, kOidKeepalive, kKindRequest, 0);
    EXPECT_EQ(0, memcmp("123456789012", s_->tx_buf + 12, 12));
    EXPECT_EQ(0, s_->tx_buf[24]);  // seq follows at once
}

TEST_F(Protocol, OverlongValuesAreCutToFitTheTransmitBuffer) {
    std::string huge(20000, 'v');
    size_t len = rcm_build_gps(s_, huge.c_str(), "1");
    EXPECT_EQ(kRcmBufSize, len);
    EXPECT_EQ(kReportRoom, get_be16(s_->tx_buf + 34));
    EXPECT_EQ(0, s_->tx_buf[kRcmBufSize - 1]);

    var_text t = var_text_start(s_);
    var_text_add(&t, "a", "1");
    var_text_add(&t, "big", huge.c_str());
    EXPECT_EQ(kBatchTextRoom, t.len);
    EXPECT_EQ('\0', t.buf[t.len - 1]);
    EXPECT_EQ(0, memcmp("big=vvv", t.buf + 4, 7));
}

TEST(Ports, EnvironmentOverridesAndTheirChecks) {
    unsetenv("RMAGENT_TEST_PORT");
    EXPECT_EQ(1161, rcm_env_port("RMAGENT_TEST_PORT", 1161));
    setenv("RMAGENT_TEST_PORT", "0", 1);
    EXPECT_EQ(0, rcm_env_port("RMAGENT_TEST_PORT", 1161));
    for (const char *bad : {"65536", "-1", "12a", "0x10"}) {
        setenv("RMAGENT_TEST_PORT", bad, 1);
        EXPECT_EQ(-1, rcm_env_port("RMAGENT_TEST_PORT", 1161)) << bad;
    }
    unsetenv("RMAGENT_TEST_PORT");
    setenv("RMAGENT_SYSLOG_KEY", "0x1234", 1);
    EXPECT_EQ(0x1234, rcm_syslog_key());
    setenv("RMAGENT_SYSLOG_KEY", "zz", 1);
    EXPECT_EQ(-1, rcm_syslog_key());
    unsetenv("RMAGENT_SYSLOG_KEY");
    EXPECT_EQ(0x414E4547, rcm_syslog_key());
    in_addr a;
    setenv("RMAGENT_ADDR", "127.0.0.9", 1);
    ASSERT_TRUE(rcm_bind_addr(&a));
    EXPECT_EQ(htonl(0x7F000009), a.s_addr);
    setenv("RMAGENT_ADDR", "localhost", 1);
    EXPECT_FALSE(rcm_bind_addr(&a));
    unsetenv("RMAGENT_ADDR");
}

}  // namespace
