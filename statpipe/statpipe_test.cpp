// The relay monitor as a program under a router root: its port is a link to a simulated
// Sierra card (run on a thread here), its pipes are read and written as a client would.
#include "statpipe/statpipe.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/nvram.h"
#include "sim/cardsim/cardsim_thread.h"
#include "tests/support/testsupport.h"

namespace {

using cardsim::Bytes;
using cardsim::CardSimThread;
using cardsim::Family;
using namespace testsupport;

// A get of object 0x1001 (signal strength) under application id AA BB CC DD.
const Bytes kGet = {0x00, 0x0A, 0x2B, 0x00, 0x10, 0x01, 0x01,
                    0x00, 0xAA, 0xBB, 0xCC, 0xDD, 0x00, 0x00};
// Its answer as the card sends it, with the value 7E 7D (stuffed on the wire).
const Bytes kAnswer = {0x00, 0x0C, 0x6B, 0x00, 0x10, 0x01, 0x02, 0x00,
                       0xAA, 0xBB, 0xCC, 0xDD, 0x00, 0x02, 0x7E, 0x7D};
const Bytes kHeartbeat = {0x00, 0x0A, 0x6B, 0x00, 0x00, 0x00, 0x07,
                          0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};

std::string stuffed_hex(const Bytes &d) {
    Bytes out = {0x7E};
    for (uint8_t b : d) {
        if (b == 0x7E || b == 0x7D) {
            out.push_back(0x7D);
            out.push_back(b ^ 0x20);
        } else {
            out.push_back(b);
        }
    }
    out.push_back(0x7E);
    return cardsim::hex(out);
}

// Asleep: over a second and a half it takes at most a tenth of a second of CPU.
bool idle(pid_t pid) {
    return stays_idle(pid, 1500, sysconf(_SC_CLK_TCK) / 10);
}

class Statpipe : public ::testing::Test {
  protected:
    void SetUp() override {
        card_ = std::make_unique<CardSimThread>(Family::kSierra);
        ASSERT_TRUE(card_->ok());
        say("notifyid 00000000");
        mkdir(root_.host("/dev/usb").c_str(), 0755);
        mkdir(root_.host("/dev/usb/tts").c_str(), 0755);
        ASSERT_EQ(symlink(card_->slave().c_str(), root_.host("/dev/usb/tts/1").c_str()), 0);
    }
    void TearDown() override {
        if (rsp_ >= 0) close(rsp_);
        if (pid_ > 0) stop_child(pid_);
    }
    void say(const std::string &line) { ASSERT_EQ("", card_->control(line)) << line; }
    // Starts the monitor and waits until it has published the ESN (it is then relaying).
    void start(bool wait_esn = true) {
        SpawnOptions o;
        o.stdout_path = root_.host("/stdout");
        pid_ = spawn_program("statpipe", {}, o);
        ASSERT_GT(pid_, 0);
        if (wait_esn) {
            ASSERT_TRUE(wait_until([] { return nvram_get("wan0_wwan_sn") != nullptr; }, 30000));
        }
    }
    std::string out() { return read_file(root_.host("/stdout")); }
    bool wait_out(const std::string &text) {
        return wait_until([&] { return out().find(text) != std::string::npos; }, 30000);
    }
    void command(const Bytes &frame) {
        int fd = open(root_.host("/tmp/cnscmd").c_str(), O_WRONLY | O_NONBLOCK);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(write(fd, frame.data(), frame.size()), ssize_t(frame.size()));
        close(fd);
    }
    void open_response() {
        rsp_ = open(root_.host("/tmp/cnsrsp").c_str(), O_RDONLY | O_NONBLOCK);
        ASSERT_GE(rsp_, 0);
    }
    // What the response pipe gives within the bound, until `want` bytes came.
    Bytes response(size_t want) {
        Bytes got;
        // Whatever came within the bound is returned: the caller compares it with what it wanted.
        (void)wait_until(
            [&] {
                uint8_t buf[4096];
                ssize_t n;
                while ((n = read(rsp_, buf, sizeof buf)) > 0)
                    got.insert(got.end(), buf, buf + n);
                return got.size() >= want;
            },
            30000);
        return got;
    }

    // What the response pipe holds now (after the output showed the frame was handled).
    Bytes pending_response() {
        uint8_t buf[4096];
        ssize_t n = read(rsp_, buf, sizeof buf);
        return n > 0 ? Bytes(buf, buf + n) : Bytes{};
    }

    TempRouterRoot root_;
    std::unique_ptr<CardSimThread> card_;
    pid_t pid_ = -1;
    int rsp_ = -1;
};

TEST_F(Statpipe, PublishesTheEsnInLowerCaseHex) {
    say("set 1000 0000ABCD");
    start();
    EXPECT_STREQ(nvram_get("wan0_wwan_sn"), "0000abcd");
}

TEST_F(Statpipe, AFailedEsnReadLeavesTheKeyAsItWas) {
    ASSERT_EQ(nvram_set("wan0_wwan_sn", "12345678"), 0);
    say("fault noanswer");
    start(false);
    ASSERT_TRUE(card_->wait_log("fault noanswer", 1, 30000));
    // A heartbeat is reported only once the monitor relays (the get in progress skips
    // notifications): one every half second until one is.
    int polls = 0;
    ASSERT_TRUE(wait_until(
        [&] {
            if (polls++ % 100 == 0) say("notify heartbeat");
            return out().find("Got Heart Beat from modem\n") != std::string::npos;
        },
        30000));
    EXPECT_STREQ(nvram_get("wan0_wwan_sn"), "12345678");
}

TEST_F(Statpipe, AGetReachesTheCardStuffedAndItsAnswerLeavesByteForByte) {
    say("set 1001 7E7D");
    start();
    open_response();
    command(kGet);
    EXPECT_EQ(response(kAnswer.size()), kAnswer);
    ASSERT_TRUE(card_->wait_log("raw", 2, 30000));
    EXPECT_EQ(card_->log_lines("raw").back(), "raw " + stuffed_hex(kGet));
    EXPECT_EQ(out(), "");
}

TEST_F(Statpipe, AnAnswerAndAHeartbeatInOneWriteAreBothHandledAtOnce) {
    start();
    open_response();
    say("fault noanswer");
    command(kGet);  // sets the window; the card keeps quiet
    ASSERT_TRUE(card_->wait_log("fault noanswer", 1, 30000));
    say("raw " + stuffed_hex(kAnswer) + stuffed_hex(kHeartbeat));
    EXPECT_EQ(response(kAnswer.size()), kAnswer);
    EXPECT_TRUE(wait_out("Got Heart Beat from modem\n"));
    EXPECT_EQ(out(), "Got Heart Beat from modem\n");
}

TEST_F(Statpipe, AThirteenByteCommandIsRefusedAndNotSent) {
    start();
    size_t raws = card_->log_lines("raw").size();  // the ESN get
    command(Bytes(kGet.begin(), kGet.begin() + 13));
    ASSERT_TRUE(wait_out("Invalid command !\n"));
    say("notify heartbeat");
    ASSERT_TRUE(wait_out("Got Heart Beat from modem\n"));  // the monitor went on
    EXPECT_EQ(card_->log_lines("raw").size(), raws);
    EXPECT_EQ(out(), "Invalid command !\nGot Heart Beat from modem\n");
}

TEST_F(Statpipe, BeforeAnyCommandAnAnswerIsAMismatchAgainstAllOnes) {
    start();
    open_response();
    say("raw " + stuffed_hex(kAnswer));
    ASSERT_TRUE(wait_out("app_id Mismatch: bbccdd00 != ffffffff"));
    EXPECT_EQ(out(), "app_id Mismatch: bbccdd00 != ffffffff");
    EXPECT_EQ(pending_response(), Bytes{});
}

TEST_F(Statpipe, HeartbeatIsReportedOtherNotificationsDroppedNeitherRelayed) {
    start();
    open_response();
    say("notify 1001 0002");
    say("notify heartbeat");
    ASSERT_TRUE(wait_out("Got Heart Beat from modem\n"));
    EXPECT_EQ(out(), "Got Heart Beat from modem\n");
    EXPECT_EQ(pending_response(), Bytes{});
}

TEST_F(Statpipe, AVanishedCardIsSaidOnceAndTheMonitorRunsOn) {
    start();
    say("vanish");
    ASSERT_TRUE(wait_out("Error reading response or notification!\n"));
    command(kGet);
    ASSERT_TRUE(wait_out("Error writing command to modem!\n"));
    EXPECT_EQ(wait_child(pid_, 1000), -1);  // still running
    EXPECT_TRUE(idle(pid_));                // and not spinning on the dead port
    EXPECT_EQ(out(), "Error reading response or notification!\nError writing command to modem!\n");
}

TEST_F(Statpipe, AFullResponsePipeDropsFramesAndTheRelayGoesOn) {
    start();
    say("fault noanswer");
    command(kGet);
    ASSERT_TRUE(card_->wait_log("fault noanswer", 1, 30000));
    // 100 KB of answers in one go, and nobody reads the response pipe.
    Bytes big = kAnswer;
    big[1] = 0xF2;
    big[13] = 0xEE;
    big.resize(4 + 0xF2, 0x55);
    std::string raws;
    for (int i = 0; i < 100 * 1024 / int(big.size()) + 1; ++i)
        raws += stuffed_hex(big);
    say("raw " + raws);
    ASSERT_TRUE(wait_out("Error writing response to pipe!\n"));
    size_t requests = card_->log_lines("req").size();
    say("fault none");
    command(kGet);
    EXPECT_TRUE(card_->wait_log("req", requests + 1, 30000));
    EXPECT_EQ(wait_child(pid_, 0), -1);
}

class StatpipeStart : public ::testing::Test {
  protected:
    RunResult run(const std::vector<std::string> &args = {}) {
        return run_program("statpipe", args);
    }
    bool exists(const char *path) {
        struct stat st;
        return lstat(root_.host(path).c_str(), &st) == 0;
    }
    TempRouterRoot root_;
};

TEST_F(StatpipeStart, NoPortEndsWith255) {
    RunResult r = run();
    EXPECT_EQ(r.exit_code(), 255);
    EXPECT_EQ(r.out, "Failed to open CnS device /dev/usb/tts/1\n");
    EXPECT_FALSE(exists("/tmp/cnscmd"));
}

TEST_F(StatpipeStart, PipeFailuresEndWith255LeavingNoPipe) {
    Pty pty;
    mkdir(root_.host("/dev/usb").c_str(), 0755);
    mkdir(root_.host("/dev/usb/tts").c_str(), 0755);
    ASSERT_EQ(symlink(pty.slave.c_str(), root_.host("/dev/usb/tts/1").c_str()), 0);
    // A directory that cannot be replaced by the response pipe.
    ASSERT_EQ(mkdir(root_.host("/tmp/cnsrsp").c_str(), 0755), 0);
    write_file(root_.host("/tmp/cnsrsp/x"), "");
    RunResult r = run();
    EXPECT_EQ(r.exit_code(), 255);
    EXPECT_EQ(r.out, "Failed to open pipe for CnS Rsp: /tmp/cnsrsp\n");
    EXPECT_FALSE(exists("/tmp/cnscmd"));
    // No /tmp at all: the command pipe cannot be made.
    ASSERT_EQ(system(("rm -rf " + root_.host("/tmp")).c_str()), 0);
    r = run();
    EXPECT_EQ(r.exit_code(), 255);
    EXPECT_EQ(r.out, "Failed to open pipe for CnS Cmd: /tmp/cnscmd\n");
}

TEST_F(StatpipeStart, UsageForHelpOtherOptionsAndOperands) {
    const char kUsage[] = "usage: statpipe [-d] \n   -f: do not fork from the shell.\n";
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{"-h"}, std::vector<std::string>{"-x"},
          std::vector<std::string>{"-d", "now"}}) {
        RunResult r = run(args);
        EXPECT_EQ(r.exit_code(), 1) << args[0];
        EXPECT_EQ(r.out, kUsage) << args[0];
    }
}

}  // namespace
