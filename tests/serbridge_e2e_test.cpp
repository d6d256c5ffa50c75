// serbridge as a whole program, with the user-space PPP channel: the test holds the master
// side of both lines, playing the host on the serial line and the PPP peer behind the modem.
// The connect and disconnect scripts record that they ran and answer on the modem terminal.
// The link's timers in every case (a minute of modem silence, the windows of the Terminate
// exchanges) are tested in-process on the fake clock (serbridge/link_test.cpp); here one
// inactivity case proves the timers are wired into the program.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/nvram.h"
#include "platform/nvram_testing.h"
#include "sim/ppp_link.h"
#include "tests/support/testsupport.h"

namespace {

using namespace testsupport;

const Frame kTermreqData = {0xC0, 0x21, 0x05, 0x0F, 0x00, 0x10, 'U', 's', 'e',
                            'r',  ' ',  'r',  'e',  'q',  'u',  'e', 's', 't'};

int count(const std::string &text, const std::string &needle) {
    int n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        ++n;
    return n;
}

class Serbridge : public ::testing::Test {
  protected:
    void SetUp() override {
        mkdir(root_.host("/var/log").c_str(), 0755);
        mkdir(root_.host("/tmp/ppp").c_str(), 0755);
        // The poe_* messages are copied to descriptor 0: a file of the test's.
        poe_fd_ = open(root_.host("/poe.out").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
        nvram_testing_forget();  // the store of this test's router root
        EXPECT_EQ(0, nvram_set("wan_maxentrys", "3"));
        EXPECT_EQ(0, nvram_set("wan0_proto", "4"));
        EXPECT_EQ(0, nvram_set("wan0_devname", modem_.slave.c_str()));
        write_file(root_.host("/connect.sh"),
                   "echo connect >> " + root_.host("/scripts.ran") +
                       "\nprintf 'CONNECTED\\r\\n'\necho connect-stderr >&2\n"
                       "exit $(cat " +
                       root_.host("/connect.rc") + " 2>/dev/null || echo 0)\n");
    }
    void TearDown() override {
        if (pid_ > 0) stop_child(pid_);
        close(poe_fd_);
    }

    void start(std::vector<std::string> extra = {}, bool hdlc = true) {
        std::vector<std::string> args = {"-s", host_.slave,
                                         "-m", modem_.slave,
                                         "-c", "sh " + root_.host("/connect.sh"),
                                         "-q", "echo disconnect >> " + root_.host("/scripts.ran")};
        args.insert(args.end(), extra.begin(), extra.end());
        SpawnOptions o;
        o.stdin_fd = poe_fd_;
        if (hdlc) o.env = {"SERBRIDGE_PPP_CHANNEL=hdlc"};
        pid_ = spawn_program("serbridge", args, o);
    }
    int wait_exit(int timeout_ms = 30000) {
        int status = wait_child(pid_, timeout_ms);
        if (status != -1) pid_ = -1;
        return status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string log() { return read_file(root_.host("/var/log/serbridge.log")); }
    std::string poe() { return read_file(root_.host("/poe.out")); }
    std::string ran() { return read_file(root_.host("/scripts.ran")); }
    bool log_has(const std::string &text, int timeout_ms = 20000) {
        return wait_until([&] { return log().find(text) != std::string::npos; }, timeout_ms);
    }

    // "AT" CR until "OK": the bridge is up and in the AT phase.
    bool at_ok(int tries = 40) {
        for (int i = 0; i < tries; ++i) {
            host_link_.clear_text();
            host_link_.send_text("AT\r");
            if (host_link_.wait_text("OK\r\n", 500)) return true;
        }
        return false;
    }
    bool dial() {
        if (!at_ok()) return false;
        host_link_.clear_text();
        host_link_.send_text("aTd#777\r");
        return host_link_.wait_text("CONNECT\r\n", 20000);
    }
    // The host's Configure-Request, repeated until the bridge relays it to the modem side (the
    // serial channel is bound just after "CONNECT"), and the modem's Ack back to the host.
    bool negotiate() {
        Frame req = lcp_frame(1, 1, {0x01, 0x04, 0x05, 0xDC}), got;
        bool relayed = false;
        for (int i = 0; i < 20 && !relayed; ++i) {
            host_link_.send(req);
            while (!relayed && modem_link_.receive(&got, 500))
                relayed = got == req;
        }
        if (!relayed) return false;
        Frame ack = req;
        ack[2] = 2;
        modem_link_.send(ack);
        return host_link_.receive(&got, 10000) && got == ack;
    }
    // The next frame that is not LCP (repeated Configure-Requests may still be queued).
    bool next_data(PppLink &link, Frame *out) {
        while (link.receive(out, 10000))
            if (lcp_code(*out) == 0) return true;
        return false;
    }
    // The next LCP frame of `code` on a link, other frames skipped.
    bool next_lcp(PppLink &link, int code, Frame *out, int timeout_ms = 15000) {
        while (link.receive(out, timeout_ms))
            if (lcp_code(*out) == code) return true;
        return false;
    }

    TempRouterRoot root_;
    Pty host_, modem_;
    PppLink host_link_{host_.master}, modem_link_{modem_.master};
    int poe_fd_ = -1;
    pid_t pid_ = -1;
};

TEST_F(Serbridge, AbsentUnitCountEndsWithStatus1) {
    EXPECT_EQ(0, nvram_unset("wan_maxentrys"));
    start();
    EXPECT_EQ(1, wait_exit());
    EXPECT_EQ("why no dev matched " + modem_.slave + " \n", poe());
    // The build line's own newline leaves an empty line after it.
    std::string text = log();
    EXPECT_EQ(0u, text.find("build on ")) << text;
    EXPECT_NE(std::string::npos, text.find(" \n\n")) << text;
}

TEST_F(Serbridge, BadCommandLineEndsWithStatus255) {
    pid_ = spawn_program("serbridge", {"-s", host_.slave, "-m", modem_.slave});
    EXPECT_EQ(255, wait_exit());
    pid_ = spawn_program("serbridge",
                         {"-s", "/nonexistent/tty", "-m", modem_.slave, "-c", "c", "-q", "q"});
    EXPECT_EQ(255, wait_exit());
    EXPECT_NE(std::string::npos, log().find("initSerialport fail . \n\n"));
}

TEST_F(Serbridge, ThreeFailedConnectsMarkTheLowerMatchingUnitAndEnd) {
    EXPECT_EQ(0, nvram_set("wan0_devname", "/dev/another"));  // proto 4, another device: skipped
    EXPECT_EQ(0, nvram_set("wan1_proto", "4"));
    EXPECT_EQ(0, nvram_set("wan1_devname", modem_.slave.c_str()));
    EXPECT_EQ(0, nvram_set("wan2_proto", "4"));
    EXPECT_EQ(0, nvram_set("wan2_devname", modem_.slave.c_str()));
    write_file(root_.host("/connect.rc"), "1\n");
    start();
    ASSERT_TRUE(log_has("serbridge: bridge on wan1"));
    ASSERT_TRUE(at_ok());
    host_link_.send_text("ATD#777\r");
    EXPECT_EQ(1, wait_exit());
    EXPECT_STREQ("bridged_fail", nvram_safe_get("wan1_status"));
    EXPECT_EQ(nullptr, nvram_get("wan2_status"));
    EXPECT_EQ(nullptr, nvram_get("wan0_status"));
    EXPECT_EQ(3, count(poe(), "Failed to connect modem \n"));
    EXPECT_NE(std::string::npos, poe().find("connect fail 3 times. exit ... \n"));
    EXPECT_EQ("connect\nconnect\nconnect\n", ran());
    EXPECT_FALSE(host_link_.wait_text("CONNECT", 100));
}

struct SpeedCase {
    std::vector<std::string> args;
    speed_t before, after;
    bool warns;
};

TEST_F(Serbridge, SerialSpeedFromTheCommandLine) {
    const SpeedCase cases[] = {
        {{}, B9600, B115200, false},
        {{"-p", "0"}, B9600, B9600, false},
        {{"-p", "57600"}, B9600, B57600, false},
        {{"-p", "12345"}, B19200, B19200, true},  // last: the warning stays in the file
    };
    for (const SpeedCase &c : cases) {
        termios tio;
        ASSERT_EQ(0, tcgetattr(host_.slave_fd, &tio));
        cfsetspeed(&tio, c.before);
        ASSERT_EQ(0, tcsetattr(host_.slave_fd, TCSANOW, &tio));
        start(c.args);
        ASSERT_TRUE(at_ok()) << c.args.size();
        ASSERT_EQ(0, tcgetattr(host_.slave_fd, &tio));
        EXPECT_EQ(c.after, cfgetospeed(&tio)) << (c.args.empty() ? "" : c.args[1]);
        EXPECT_EQ(c.warns, poe().find("speed 12345 not supported\n") != std::string::npos);
        stop_child(pid_);
        pid_ = -1;
    }
}

TEST_F(Serbridge, DialRelayAndTerminateFromTheHost) {
    start({"-p", "9600", "-d"});
    ASSERT_TRUE(dial());
    EXPECT_EQ("connect\n", ran());
    // The connect script answered on the modem terminal, its errors went to the errors file.
    EXPECT_TRUE(modem_link_.wait_text("CONNECTED\r\n", 5000));
    EXPECT_EQ("connect-stderr\n", read_file(root_.host("/tmp/ppp/serbridge-errors")));
    termios tio;
    ASSERT_EQ(0, tcgetattr(modem_.slave_fd, &tio));
    EXPECT_EQ(B115200, cfgetospeed(&tio));  // the modem's line, whatever -p says
    ASSERT_TRUE(negotiate());

    Frame data = {0x00, 0x21, 0x7E, 0x7D, 0x00, 0x13, 0xFF}, got;
    ASSERT_TRUE(host_link_.send(data));
    ASSERT_TRUE(next_data(modem_link_, &got));
    EXPECT_EQ(data, got);
    data[2] = 0x01;
    ASSERT_TRUE(modem_link_.send(data));
    ASSERT_TRUE(next_data(host_link_, &got));
    EXPECT_EQ(data, got);

    Frame req = lcp_frame(5, 9), ack = lcp_frame(6, 9);
    ASSERT_TRUE(host_link_.send(req));
    ASSERT_TRUE(next_lcp(modem_link_, 5, &got));
    EXPECT_EQ(req, got);
    ASSERT_TRUE(modem_link_.send(ack));
    ASSERT_TRUE(next_lcp(host_link_, 6, &got));
    EXPECT_EQ(ack, got);
    ASSERT_TRUE(wait_until([&] { return ran() == "connect\ndisconnect\n"; }, 20000)) << ran();
    EXPECT_TRUE(at_ok());  // back in the AT phase

    std::string text = log();
    for (const char *line : {"receive aTd#777\r \n", "receive CONFREQ from serial..\n",
                             "receive CONFACK from modem..\n", "receive TERMREQ from serial..\n",
                             "get termack from modem .... \n", "resetSerial: close ppp\n",
                             "c0 21 01 01 00 08 01 04 05 dc "})
        EXPECT_NE(std::string::npos, text.find(line)) << line;
}

TEST_F(Serbridge, TerminateFromTheModem) {
    start();
    ASSERT_TRUE(dial());
    ASSERT_TRUE(negotiate());
    Frame req = lcp_frame(5, 0x42), ack = lcp_frame(6, 0x42), got;
    ASSERT_TRUE(modem_link_.send(req));
    ASSERT_TRUE(next_lcp(host_link_, 5, &got));
    EXPECT_EQ(req, got);
    ASSERT_TRUE(host_link_.send(ack));
    ASSERT_TRUE(next_lcp(modem_link_, 6, &got));
    EXPECT_EQ(ack, got);
    ASSERT_TRUE(wait_until([&] { return ran() == "connect\ndisconnect\n"; }, 20000)) << ran();
    EXPECT_TRUE(at_ok());
    EXPECT_NE(std::string::npos, log().find("get termack from serial .... \n"));
}

TEST_F(Serbridge, InactivityTerminatesBothSides) {
    start({"-i", "2"});
    ASSERT_TRUE(dial());
    ASSERT_TRUE(negotiate());
    Frame got;
    ASSERT_TRUE(next_lcp(modem_link_, 5, &got, 20000));
    EXPECT_EQ(kTermreqData, got);
    modem_link_.send(lcp_frame(6, 15));
    ASSERT_TRUE(next_lcp(host_link_, 5, &got, 20000));
    EXPECT_EQ(kTermreqData, got);
    host_link_.send(lcp_frame(6, 15));
    ASSERT_TRUE(wait_until([&] { return ran() == "connect\ndisconnect\n"; }, 20000)) << ran();
    EXPECT_TRUE(at_ok());
    std::string text = log();
    EXPECT_NE(std::string::npos,
              text.find("send termreq data 18 bytes to modem to terminate PPP \n"));
    EXPECT_NE(std::string::npos,
              text.find("send termreq data 18 bytes to host to terminate PPP \n"));
}

TEST_F(Serbridge, HostClosingTheLineEndsTheLinkAndTheBridge) {
    start();
    ASSERT_TRUE(dial());
    ASSERT_TRUE(negotiate());
    close(host_.master);
    host_.master = -1;
    close(host_.slave_fd);
    host_.slave_fd = -1;
    Frame got;
    ASSERT_TRUE(next_lcp(modem_link_, 5, &got));
    EXPECT_EQ(kTermreqData, got);
    modem_link_.send(lcp_frame(6, 15));
    EXPECT_EQ(1, wait_exit());
    EXPECT_EQ("connect\ndisconnect\n", ran());
    EXPECT_NE(std::string::npos, poe().find("serial line " + host_.slave + " cannot be reopened"));
}

TEST_F(Serbridge, ModemLineClosingEndsTheLinkBackToTheAtPhase) {
    start();
    ASSERT_TRUE(dial());
    ASSERT_TRUE(negotiate());
    close(modem_.master);
    modem_.master = -1;
    close(modem_.slave_fd);
    modem_.slave_fd = -1;
    Frame got;
    ASSERT_TRUE(next_lcp(host_link_, 5, &got));
    EXPECT_EQ(kTermreqData, got);
    host_link_.send(lcp_frame(6, 15));
    ASSERT_TRUE(wait_until([&] { return ran() == "connect\ndisconnect\n"; }, 20000)) << ran();
    EXPECT_TRUE(at_ok());
    EXPECT_NE(std::string::npos, log().find("modem channel closed"));
}

// With the kernel channel on a host without "/dev/ppp": the call comes up, the channel
// cannot, and the modem is taken down again without a reply to the host.
TEST_F(Serbridge, KernelChannelMissingTakesTheModemDownAgain) {
    start({}, false);
    ASSERT_TRUE(at_ok());
    host_link_.clear_text();
    host_link_.send_text("ATD#777\r");
    ASSERT_TRUE(wait_until([&] { return ran() == "connect\ndisconnect\n"; }, 20000)) << ran();
    EXPECT_NE(std::string::npos,
              poe().find("Couldn't reopen /dev/ppp: No such file or directory\n"));
    EXPECT_FALSE(host_link_.wait_text("CONNECT", 300));
    EXPECT_TRUE(at_ok());
}

}  // namespace
