// The user-space PPP channel on a real pseudo-terminal, and the AT phase on top of it.
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/eventloop_testing.h"
#include "serbridge/at_phase.h"
#include "serbridge/ppp_channel.h"
#include "sim/ppp_link.h"
#include "tests/support/testsupport.h"

namespace {

using testsupport::Pty;

bool readable(int fd, int timeout_ms) {
    pollfd p = {fd, POLLIN, 0};
    return poll(&p, 1, timeout_ms) > 0;
}

class HdlcChannel : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("SERBRIDGE_PPP_CHANNEL", "hdlc", 1);
        ASSERT_EQ(0, ppp_channel_select());
        std::memset(&ctx_, 0, sizeof ctx_);
        tty_ = dup(pty_.slave_fd);
    }
    void TearDown() override {
        if (chan_ > 0) close_ppp(&ctx_, tty_, chan_);
        close(tty_);
        unsetenv("SERBRIDGE_PPP_CHANNEL");
        ASSERT_EQ(0, ppp_channel_select());
    }
    Pty pty_;
    bridge_ctx ctx_;
    int tty_ = -1;
    int chan_ = -1;
};

TEST_F(HdlcChannel, OneWriteIsOneFramedFrameOnTheLine) {
    chan_ = open_ppp(&ctx_, tty_);
    ASSERT_GT(chan_, 0);
    const uint8_t frame[] = {0xC0, 0x21, 0x01, 0x01, 0x00, 0x04};
    ASSERT_EQ(static_cast<ssize_t>(sizeof frame), write(chan_, frame, sizeof frame));
    PppLink host(pty_.master);
    ASSERT_TRUE(host.wait_text("\x7e", 2000));
    EXPECT_TRUE(host.wait_text(
        std::string("\x7e\xff\x7d\x23\xc0\x21\x7d\x21\x7d\x21\x7d\x20\x7d\x24\xd1\xb5\x7e", 17),
        2000));
}

TEST_F(HdlcChannel, OneReadIsOneFrameEvenWhenSplitOnTheLine) {
    chan_ = open_ppp(&ctx_, tty_);
    ASSERT_GT(chan_, 0);
    Frame a = lcp_frame(1, 7, {0x7E, 0x7D, 0x11}), b = {0x00, 0x21, 0x45, 0x00};
    uint8_t wire[64];
    size_t n = hdlc_encode(a.data(), a.size(), wire, sizeof wire);
    ASSERT_EQ(3, write(pty_.master, wire, 3));
    usleep(20000);
    ASSERT_EQ(static_cast<ssize_t>(n - 3), write(pty_.master, wire + 3, n - 3));
    PppLink writer(pty_.master);
    ASSERT_TRUE(writer.send(b));
    uint8_t buf[2000];
    ASSERT_TRUE(readable(chan_, 5000));
    ssize_t got = read(chan_, buf, sizeof buf);
    EXPECT_EQ(a, Frame(buf, buf + (got > 0 ? got : 0)));
    ASSERT_TRUE(readable(chan_, 5000));
    got = read(chan_, buf, sizeof buf);
    EXPECT_EQ(b, Frame(buf, buf + (got > 0 ? got : 0)));
}

TEST_F(HdlcChannel, TerminalIsQuietWhileBoundAndBackAfterwards) {
    chan_ = open_ppp(&ctx_, tty_);
    ASSERT_GT(chan_, 0);
    ASSERT_EQ(3, write(pty_.master, "AT\r", 3));
    EXPECT_FALSE(readable(tty_, 200));  // the channel owns the line: no AT input here
    close_ppp(&ctx_, tty_, chan_);
    chan_ = -1;
    ASSERT_EQ(3, write(pty_.master, "AT\r", 3));
    ASSERT_TRUE(readable(tty_, 5000));
    char buf[8];
    EXPECT_EQ(3, read(tty_, buf, sizeof buf));
    EXPECT_EQ(0, std::memcmp(buf, "AT\r", 3));
}

TEST_F(HdlcChannel, LineClosedReadsAsEndOfData) {
    chan_ = open_ppp(&ctx_, tty_);
    ASSERT_GT(chan_, 0);
    close(pty_.master);
    pty_.master = -1;
    close(pty_.slave_fd);
    pty_.slave_fd = -1;
    ASSERT_TRUE(readable(chan_, 5000));
    uint8_t buf[16];
    EXPECT_EQ(0, read(chan_, buf, sizeof buf));
}

// The AT phase against the same line: the test's pty stands for the host.
class AtPhase : public HdlcChannel {
  protected:
    void SetUp() override {
        HdlcChannel::SetUp();
        ctx_.serial_fd = tty_;
        at_line.len = 0;
        std::strcpy(ctx_.modem_dev, "/dev/null");  // a bring-up would run the script
        std::snprintf(ctx_.connect_script, sizeof ctx_.connect_script, "echo ran >> %s",
                      root_.host("/connect.ran").c_str());
    }
    void TearDown() override {
        if (ctx_.serial_ppp_fd > 0) close_ppp(&ctx_, tty_, ctx_.serial_ppp_fd);
        eventloop_reset();
        HdlcChannel::TearDown();
    }
    int feed(const std::string &text) {
        return handle_at_input(&ctx_, reinterpret_cast<const uint8_t *>(text.data()),
                               static_cast<int>(text.size()));
    }
    std::string replies(int timeout_ms = 300) {
        std::string out;
        char buf[256];
        while (readable(pty_.master, timeout_ms)) {
            ssize_t n = read(pty_.master, buf, sizeof buf);
            if (n <= 0) break;
            out.append(buf, static_cast<size_t>(n));
            timeout_ms = 50;
        }
        return out;
    }
    testsupport::TempRouterRoot root_;
};

TEST_F(AtPhase, AnswersAtCommands) {
    EXPECT_EQ(-1, feed("AT"));
    EXPECT_EQ(0, feed("Z\r"));
    EXPECT_EQ("OK\r\n", replies());
    EXPECT_EQ(0, feed("at&f\r"));
    EXPECT_EQ("OK\r\n", replies());
    EXPECT_EQ(0, feed("hello\r"));  // not a command: no reply
    EXPECT_EQ("", replies());
}

TEST_F(AtPhase, ControlCharacterEmptiesTheLine) {
    EXPECT_EQ(0, feed("garbage\x01"
                      "AT\r"));
    EXPECT_EQ("OK\r\n", replies());
    EXPECT_EQ(-1, feed("AT\x02"));
    EXPECT_EQ(0, feed("hello\r"));
    EXPECT_EQ("", replies());
}

TEST_F(AtPhase, LineStartingWithCrOrLfGetsNoReply) {
    EXPECT_EQ(0, feed("AT\r"));
    EXPECT_EQ(0, feed("\n"));  // the LF of a CR LF pair, in a read of its own
    EXPECT_EQ(0, feed("\rAT\r"));
    EXPECT_EQ("OK\r\n", replies());
}

TEST_F(AtPhase, SeveralCommandsInOneReadAreOneLine) {
    EXPECT_EQ(0, feed("ATZ\r\nATD123\r"));  // starts with "at" (not "atd"): one "OK"
    EXPECT_EQ("OK\r\n", replies());
    EXPECT_EQ(-1, feed("AT\rAT"));  // ends without CR or LF: kept for the next read
    EXPECT_EQ(0, feed("\r"));
    EXPECT_EQ("OK\r\n", replies());
}

TEST_F(AtPhase, OverlongLineStartsAgain) {
    EXPECT_EQ(-1, feed(std::string(kAtLineSize - 1, 'x')));
    EXPECT_EQ(0, feed("AT\r"));  // the full line is dropped; "AT" CR is a line of its own
    EXPECT_EQ("OK\r\n", replies());
    EXPECT_EQ(-1, feed(std::string(5 * kAtLineSize, 'y')));
    EXPECT_LT(at_line.len, kAtLineSize);
}

TEST_F(AtPhase, DialWithTheModemUpRunsNoScript) {
    int modem[2];
    ASSERT_EQ(0, pipe(modem));
    ctx_.modem_fd = modem[0];
    ctx_.modem_ppp_fd = modem[1];
    EXPECT_EQ(0, feed("AtDt#777\r"));
    EXPECT_EQ("CONNECT\r\n", replies());
    EXPECT_GT(ctx_.serial_ppp_fd, 0);  // the serial side is in PPP now
    struct stat st;
    EXPECT_NE(0, stat(root_.host("/connect.ran").c_str(), &st));
    close(modem[0]);
    close(modem[1]);
}

}  // namespace
