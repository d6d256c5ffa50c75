// The bridge's AT phase, relay and link supervision in-process, on the fake clock: the
// terminals are ptys held by the test, the PPP channels are packet socket pairs whose other
// ends the test holds (one packet, one frame), and the scripts are answered by the fake seam.
// A minute of modem silence or an inactivity limit takes milliseconds.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/env_fake.h"
#include "platform/eventloop.h"
#include "platform/eventloop_testing.h"
#include "serbridge/at_phase.h"
#include "serbridge/handlers.h"
#include "serbridge/log.h"
#include "serbridge/ports.h"
#include "serbridge/ppp_channel.h"
#include "tests/support/testsupport.h"

namespace {

using testsupport::read_file;
using Frame = std::vector<uint8_t>;

const Frame kTermreqData = {0xC0, 0x21, 0x05, 0x0F, 0x00, 0x10, 'U', 's', 'e',
                            'r',  ' ',  'r',  'e',  'q',  'u',  'e', 's', 't'};

Frame lcp(uint8_t code, uint8_t id) {
    return {0xC0, 0x21, code, id, 0x00, 0x04};
}

// The frames waiting on a peer end, without blocking.
std::vector<Frame> frames(int peer) {
    std::vector<Frame> out;
    uint8_t buf[4096];
    ssize_t n;
    while (peer >= 0 && (n = recv(peer, buf, sizeof buf, MSG_DONTWAIT)) > 0)
        out.emplace_back(buf, buf + n);
    return out;
}

// The channels the bridge opens: the test keeps the peer end of each, by side. What a
// channel held when it was unbound is kept, so that a test still sees the last frames.
struct TestChannels {
    int pending = -1;
    int host = -1, modem = -1;  // peer ends of the bound channels, -1 when unbound
    std::vector<Frame> host_left, modem_left;
};
TestChannels g_chan;

int test_open_channel(bridge_ctx *) {
    int sv[2];
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sv) < 0) return -1;
    if (g_chan.pending >= 0) close(g_chan.pending);
    g_chan.pending = sv[1];
    return sv[0];
}

int test_establish(bridge_ctx *ctx, int tty, int) {
    int &side = tty == ctx->serial_fd ? g_chan.host : g_chan.modem;
    if (side >= 0) close(side);
    side = g_chan.pending;
    g_chan.pending = -1;
    return 0;
}

int test_disestablish(bridge_ctx *ctx, int tty, int) {
    bool host = tty == ctx->serial_fd;
    int &side = host ? g_chan.host : g_chan.modem;
    for (Frame &f : frames(side))
        (host ? g_chan.host_left : g_chan.modem_left).push_back(f);
    if (side >= 0) close(side);
    side = -1;
    return 0;
}

const ppp_channel_ops kTestChannel = {"test", test_open_channel, test_establish, test_disestablish};

class Bridge : public ::testing::Test {
  protected:
    void SetUp() override {
        mkdir(root_.host("/var/log").c_str(), 0755);
        mkdir(root_.host("/tmp/ppp").c_str(), 0755);
        ASSERT_EQ(0, log_open());
        log_to_fd = -1;  // no poe_* copies on the test's standard input
        eventloop_reset();
        g_chan = {};
        ppp_channel_use(&kTestChannel);
        at_line.len = 0;
        std::memset(&ctx_, 0, sizeof ctx_);
        std::strcpy(ctx_.serial_dev, host_.slave.c_str());
        std::strcpy(ctx_.modem_dev, modem_.slave.c_str());
        std::strcpy(ctx_.connect_script, "connect");
        std::strcpy(ctx_.disconnect_script, "disconnect");
        ctx_.serial_speed = 115200;
        ctx_.modem_fd = ctx_.modem_ppp_fd = ctx_.serial_fd = ctx_.serial_ppp_fd = -1;
        termreq_event.ctx = timeout_event.ctx = &ctx_;
        // The scripts: recorded by the seam; the connect script succeeds.
        env_.on_run = [](const std::vector<std::string> &, const int *) { return 0; };
    }
    void TearDown() override {
        del_event(&termreq_event);
        del_event(&timeout_event);
        eventloop_reset();
        for (int fd : {ctx_.modem_ppp_fd, ctx_.serial_ppp_fd, ctx_.modem_fd, ctx_.serial_fd,
                       g_chan.host, g_chan.modem, g_chan.pending})
            if (fd > 0) close(fd);
        ppp_channel_use(nullptr);
        fclose(logfile);
        logfile = nullptr;
        log_to_fd = 0;
    }

    void start(bool always_ppp, int idle_secs = 0) {
        ctx_.always_ppp = always_ppp;
        ctx_.idle_secs = idle_secs;
        ASSERT_GT(initSerialport(&ctx_), 0);
    }
    // Runs the loop's rounds until `done` holds: the ptys deliver on their own schedule, so
    // each round waits (really) a little for a descriptor; at most half a minute in all.
    bool step_until(const std::function<bool()> &done) {
        for (int i = 0; i < 600 && !done(); ++i)
            eventloop_step(50);
        return done();
    }
    // Moves the fake clock and runs what fell due.
    void pass(unsigned seconds) {
        env_.advance(seconds * 1000ul);
        eventloop_step(0);
    }
    static bool send(int peer, const Frame &f) {
        return peer >= 0 && write(peer, f.data(), f.size()) == static_cast<ssize_t>(f.size());
    }
    // Every frame a side was sent since the last look, bound or since unbound.
    static std::vector<Frame> to_host() { return take(&g_chan.host_left, g_chan.host); }
    static std::vector<Frame> to_modem() { return take(&g_chan.modem_left, g_chan.modem); }
    static std::vector<Frame> take(std::vector<Frame> *left, int peer) {
        std::vector<Frame> out = *left;
        left->clear();
        for (Frame &f : frames(peer))
            out.push_back(f);
        return out;
    }
    // Whether the host's terminal has received `needle`, waiting up to `wait_ms` for it.
    bool host_got(const std::string &needle, int wait_ms = 0) {
        for (int i = 0; host_text_.find(needle) == std::string::npos; ++i) {
            pollfd p = {host_.master, POLLIN, 0};
            if (poll(&p, 1, i * 10 < wait_ms ? 10 : 0) <= 0) {
                if (i * 10 >= wait_ms) break;
                continue;
            }
            char buf[256];
            ssize_t n = read(host_.master, buf, sizeof buf);
            if (n > 0) host_text_.append(buf, static_cast<size_t>(n));
        }
        return host_text_.find(needle) != std::string::npos;
    }
    void type(const std::string &text) {
        ASSERT_EQ(static_cast<ssize_t>(text.size()), write(host_.master, text.data(), text.size()));
    }
    std::string log() {
        fflush(logfile);
        return read_file(root_.host("/var/log/serbridge.log"));
    }
    int scripts(const std::string &which) {
        int n = 0;
        for (const std::string &c : env_.commands())
            if (c == "spawn /bin/sh sh -c " + which) ++n;
        return n;
    }
    // The host's Configure-Request on a bound serial channel, relayed to the modem side.
    void confreq_relayed() {
        Frame req = lcp(1, 1);
        ASSERT_TRUE(send(g_chan.host, req));
        ASSERT_TRUE(step_until([&] { return g_chan.modem >= 0; }));
        EXPECT_EQ(std::vector<Frame>{req}, frames(g_chan.modem));
    }

    testsupport::TempRouterRoot root_;
    FakeEnv env_;
    testsupport::Pty host_, modem_;
    bridge_ctx ctx_;
    std::string host_text_;
};

TEST_F(Bridge, AtCommandsAreAnsweredAndADialConnectsAndBindsTheSerialChannel) {
    start(false);
    type("AT\r");
    ASSERT_TRUE(step_until([&] { return host_got("OK\r\n"); }));
    type("aTd#777\r");
    ASSERT_TRUE(step_until([&] { return g_chan.host >= 0; }));
    EXPECT_TRUE(host_got("CONNECT\r\n", 20000));
    EXPECT_EQ(1, scripts("connect"));
    EXPECT_GE(g_chan.modem, 0);
    EXPECT_TRUE(modem_up(&ctx_));
    EXPECT_NE(std::string::npos, log().find("receive aTd#777\r \n"));
}

TEST_F(Bridge, NoiseAndControlCharactersStartTheLineAgain) {
    start(false);
    type(
        "xx\x01"
        "AT\r");  // the control character empties the line: "AT" is a line of its own
    ASSERT_TRUE(step_until([&] { return host_got("OK\r\n"); }));
    EXPECT_EQ(0, scripts("connect"));
    EXPECT_NE(std::string::npos, log().find("receive AT\r \n"));
}

TEST_F(Bridge, FramesAreRelayedBothWaysOneForOne) {
    start(true);
    confreq_relayed();
    Frame up = {0x00, 0x21, 0x7E, 0x7D, 0x45}, down = {0x00, 0x21, 0x01, 0x02};
    ASSERT_TRUE(send(g_chan.host, up));
    eventloop_step(0);
    EXPECT_EQ(std::vector<Frame>{up}, to_modem());
    ASSERT_TRUE(send(g_chan.modem, down));
    eventloop_step(0);
    EXPECT_EQ(std::vector<Frame>{down}, to_host());
}

// A Configure-Request brings the modem up; a modem silent for 60 s is redialled (the
// disconnect script, a second of pause, the connect script), and the host hears nothing.
TEST_F(Bridge, ModemSilentForAMinuteIsRedialled) {
    start(true);
    confreq_relayed();
    EXPECT_EQ(1, scripts("connect"));
    pass(59);
    EXPECT_EQ(1, scripts("connect"));
    unsigned long before = env_.now_ms();
    pass(1);
    EXPECT_EQ(1, scripts("disconnect"));
    EXPECT_EQ(2, scripts("connect"));
    EXPECT_EQ(before + 1000 + 1000, env_.now_ms());  // the minute's last second, the pause
    EXPECT_NE(std::string::npos, log().find("reconnect wwan ..."));
    EXPECT_TRUE(to_host().empty());
    EXPECT_TRUE(modem_up(&ctx_));
    // The redial does not arm the silence timer again: the next host request does.
    pass(120);
    EXPECT_EQ(2, scripts("connect"));
}

TEST_F(Bridge, AModemFrameStopsTheSilenceTimer) {
    start(true);
    confreq_relayed();
    pass(30);
    ASSERT_TRUE(send(g_chan.modem, lcp(2, 1)));
    eventloop_step(0);
    pass(60);
    EXPECT_EQ(1, scripts("connect"));
    EXPECT_EQ(0, scripts("disconnect"));
    EXPECT_EQ(std::vector<Frame>{lcp(2, 1)}, to_host());
}

// With -i, the host's silence ends the link: a Terminate-Request to the modem (4 s for its
// Ack), then to the host (2 s), a second's pause, and the modem is taken down.
TEST_F(Bridge, HostInactivityTerminatesBothSidesUnansweredInSevenSeconds) {
    start(false, 30);
    type("ATD\r");
    ASSERT_TRUE(step_until([&] { return g_chan.host >= 0; }));
    ASSERT_TRUE(send(g_chan.host, lcp(1, 1)));
    eventloop_step(0);
    to_modem();
    pass(29);
    EXPECT_TRUE(modem_up(&ctx_));
    unsigned long before = env_.now_ms();
    pass(1);
    EXPECT_EQ(std::vector<Frame>{kTermreqData}, to_modem());
    EXPECT_EQ(std::vector<Frame>{kTermreqData}, to_host());
    EXPECT_EQ(before + 1000 + 4000 + 2000 + 1000, env_.now_ms());
    EXPECT_FALSE(modem_up(&ctx_));
    EXPECT_EQ(1, scripts("disconnect"));
    EXPECT_LT(ctx_.serial_ppp_fd, 0);  // back in the AT phase
    type("AT\r");
    EXPECT_TRUE(step_until([&] { return host_got("OK\r\n"); }));
}

TEST_F(Bridge, InactivityAnsweredByBothSidesWaitsNoWindowOut) {
    start(true, 5);
    confreq_relayed();
    int host = g_chan.host, modem = g_chan.modem;
    env_.on_wait = [&](int, int) {
        // Each side acknowledges the bridge's Terminate-Request as soon as it is there.
        send(modem, lcp(6, 0x0F));
        send(host, lcp(6, 0x0F));
    };
    unsigned long before = env_.now_ms();
    pass(5);
    EXPECT_EQ(before + 5000 + 1000, env_.now_ms());  // only the pause before taking it down
    EXPECT_FALSE(modem_up(&ctx_));
    EXPECT_NE(std::string::npos, log().find("get termack from modem .... \n"));
    EXPECT_NE(std::string::npos, log().find("get termack from serial .... \n"));
    EXPECT_GT(ctx_.serial_ppp_fd, 0);  // with -a the serial side stays in PPP
}

// The host's Terminate-Request goes to the modem; its Ack comes back to the host and the link
// ends without waiting out the window.
TEST_F(Bridge, TerminateFromTheHostIsAckedThroughAndEndsTheLink) {
    start(false);
    type("ATD\r");
    ASSERT_TRUE(step_until([&] { return g_chan.host >= 0; }));
    int modem = g_chan.modem;
    env_.on_wait = [&](int, int) { send(modem, lcp(6, 9)); };
    unsigned long before = env_.now_ms();
    ASSERT_TRUE(send(g_chan.host, lcp(5, 9)));
    eventloop_step(0);
    EXPECT_EQ(std::vector<Frame>{lcp(5, 9)}, to_modem());
    EXPECT_EQ(std::vector<Frame>{lcp(6, 9)}, to_host());
    EXPECT_FALSE(modem_up(&ctx_));
    EXPECT_EQ(1, scripts("disconnect"));
    EXPECT_EQ(before + 1000, env_.now_ms());  // only the pause before taking the link down
    EXPECT_LT(ctx_.serial_ppp_fd, 0);
}

TEST_F(Bridge, TerminateFromTheModemIsAckedThroughAndEndsTheLink) {
    start(false);
    type("ATD\r");
    ASSERT_TRUE(step_until([&] { return g_chan.host >= 0; }));
    int host = g_chan.host;
    env_.on_wait = [&](int, int) { send(host, lcp(6, 0x42)); };
    ASSERT_TRUE(send(g_chan.modem, lcp(5, 0x42)));
    eventloop_step(0);
    EXPECT_EQ(std::vector<Frame>{lcp(5, 0x42)}, to_host());
    EXPECT_EQ(std::vector<Frame>{lcp(6, 0x42)}, to_modem());
    EXPECT_FALSE(modem_up(&ctx_));
    EXPECT_NE(std::string::npos, log().find("get termack from serial .... \n"));
}

TEST_F(Bridge, TheModemChannelClosingEndsTheLinkBackToTheAtPhase) {
    start(false);
    type("ATD\r");
    ASSERT_TRUE(step_until([&] { return g_chan.host >= 0; }));
    close(g_chan.modem);
    g_chan.modem = -1;
    unsigned long before = env_.now_ms();
    eventloop_step(0);
    EXPECT_EQ(std::vector<Frame>{kTermreqData}, to_host());
    EXPECT_EQ(before + 2000, env_.now_ms());  // the host's window, unanswered
    EXPECT_FALSE(modem_up(&ctx_));
    EXPECT_LT(ctx_.serial_ppp_fd, 0);
    EXPECT_NE(std::string::npos, log().find("modem channel closed"));
}

}  // namespace
