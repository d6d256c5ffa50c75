// Reading the syslog ring: lines over several strings, the sent flags, wrapping, the bounds
// of a report, and rings whose header cannot be trusted.
#include "rmagent/syslog_ring.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "common/bytes.h"
#include "sim/syslog_ring_writer.h"
#include "tests/support/testsupport.h"

namespace {

class SyslogRing : public ::testing::Test {
  protected:
    void SetUp() override {
        key_ = testsupport::unused_ipc_key();
        ASSERT_EQ(0, ring_create(&w_, key_, 256));
    }
    void TearDown() override { ring_destroy(&w_); }
    // One report with room for `cap` bytes; "" when there was nothing.
    std::string collect(size_t cap = 8156) {
        std::string out(cap, '\x7f');
        int n = syslog_ring_collect(w_.ring, 12 + w_.size, out.data(), cap);
        last_ = n;
        return n > 0 ? out.substr(0, static_cast<size_t>(n - 1)) : "";
    }
    char flag_at(uint32_t off) const { return static_cast<char>(w_.ring[12 + off]); }
    int key_ = -1;
    int last_ = 0;
    RingWriter w_;
};

TEST_F(SyslogRing, EmptyRingYieldsZero) {
    EXPECT_EQ("", collect());
    EXPECT_EQ(0, last_);
}

TEST_F(SyslogRing, LineSplitOverTwoStringsIsReportedOnceAsOneLine) {
    ASSERT_EQ(0, ring_log(&w_, "kernel: eth0|link up", ' ', '|'));
    uint32_t first = ring_head(&w_);
    EXPECT_EQ("kernel: eth0link up\n", collect());
    EXPECT_EQ(21, last_);  // the text and its NUL
    EXPECT_EQ('1', flag_at(first));
    EXPECT_EQ("", collect());
}

TEST_F(SyslogRing, LineAlreadyMarkedIsSkippedButLaterLinesAreTaken) {
    ASSERT_EQ(0, ring_log(&w_, "one"));
    EXPECT_EQ("one\n", collect());
    ASSERT_EQ(0, ring_log(&w_, "two"));
    EXPECT_EQ("two\n", collect());
}

TEST_F(SyslogRing, LinesWrapAroundTheEndOfTheArea) {
    ASSERT_EQ(0, ring_place(&w_, 240));
    ASSERT_EQ(0, ring_log(&w_, "abc|defghijklmnopqrstuvwxyz", ' ', '|'));
    EXPECT_LT(ring_tail(&w_), 240u);  // the second string went to the start
    EXPECT_EQ("abcdefghijklmnopqrstuvwxyz\n", collect());
}

TEST_F(SyslogRing, AtMostTwentyLinesAReportTheRestNextTime) {
    RingWriter big;
    int key = testsupport::unused_ipc_key();
    ASSERT_EQ(0, ring_create(&big, key, 4096));
    for (int i = 0; i < 25; ++i)
        ASSERT_EQ(0, ring_log(&big, ("l" + std::to_string(i)).c_str()));
    char out[8156];
    int n = syslog_ring_collect(big.ring, 12 + big.size, out, sizeof out);
    std::string first(out, static_cast<size_t>(n > 0 ? n - 1 : 0));
    EXPECT_EQ(0u, first.find("l0\n"));
    EXPECT_EQ(20, std::count(first.begin(), first.end(), '\n'));
    n = syslog_ring_collect(big.ring, 12 + big.size, out, sizeof out);
    EXPECT_EQ("l20\nl21\nl22\nl23\nl24\n", std::string(out, static_cast<size_t>(n - 1)));
    ring_destroy(&big);
}

TEST_F(SyslogRing, LineThatDoesNotFitTheReportWaitsForTheNext) {
    ASSERT_EQ(0, ring_log(&w_, "short"));
    ASSERT_EQ(0, ring_log(&w_, "a longer line"));
    EXPECT_EQ("short\n", collect(12));
    EXPECT_EQ("a longer line\n", collect(20));
}

TEST_F(SyslogRing, OverlongLineIsCutTo1022Characters) {
    RingWriter big;
    ASSERT_EQ(0, ring_create(&big, testsupport::unused_ipc_key(), 8192));
    std::string text(1500, 'x');
    ASSERT_EQ(0, ring_log(&big, (text.substr(0, 700) + "|" + text.substr(700)).c_str(), ' ', '|'));
    char out[8156];
    int n = syslog_ring_collect(big.ring, 12 + big.size, out, sizeof out);
    ASSERT_EQ(1021, n);  // 1019 characters of text, "\n" and the NUL
    EXPECT_EQ('\n', out[1018 + 1]);
    ring_destroy(&big);
}

TEST_F(SyslogRing, HeaderOutsideTheSegmentIsRefusedWithoutReading) {
    struct Case {
        uint32_t size, head, tail;
    } bad[] = {{100000, 0, 5}, {0, 0, 0}, {256, 256, 0}, {256, 0, 300}};
    for (const Case &c : bad) {
        ring_set_header(&w_, c.size, c.head, c.tail);
        char out[64];
        EXPECT_EQ(-1, syslog_ring_collect(w_.ring, 12 + 256, out, sizeof out))
            << c.size << " " << c.head << " " << c.tail;
    }
}

TEST_F(SyslogRing, GarbageWithoutTerminatorsEndsTheWalkWithinTheArea) {
    memset(w_.ring + 12, 'z', 256);
    ring_set_header(&w_, 256, 10, 5);
    EXPECT_EQ("", collect());
}

TEST_F(SyslogRing, GetSystemLogTakesTheReaderLockAndMarksTheRing) {
    setenv("RMAGENT_SYSLOG_KEY", std::to_string(key_).c_str(), 1);
    syslog_ring_testing_detach();
    ASSERT_EQ(0, ring_log(&w_, "hello"));
    char out[64];
    EXPECT_EQ(7, get_system_log(out, sizeof out));
    EXPECT_STREQ("hello\n", out);
    EXPECT_EQ(0, get_system_log(out, sizeof out));
    syslog_ring_testing_detach();
    unsetenv("RMAGENT_SYSLOG_KEY");
}

TEST(SyslogRingGone, MissingRingEndsTheProgram) {
    setenv("RMAGENT_SYSLOG_KEY", std::to_string(testsupport::unused_ipc_key()).c_str(), 1);
    syslog_ring_testing_detach();
    char out[64];
    EXPECT_EXIT((void)get_system_log(out, sizeof out), ::testing::ExitedWithCode(1), "");
    unsetenv("RMAGENT_SYSLOG_KEY");
}

}  // namespace
