// cardactivate as a program against a simulated KPC650 card being activated (on a thread
// here), its port a link under the router root, its syslog caught on the root's /dev/log.
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "sim/cardsim/cardsim_thread.h"
#include "tests/support/testsupport.h"

namespace {

using cardsim::CardSimThread;
using cardsim::Family;
using namespace testsupport;

const char kStartup[] = "4b001004c9f97e00";
const char kHello[] =
    "0000010000000004000000000121"
    "1b0100ed1d7e";
const char kGetPrl[] = "000000002d0000040a0000098c007e";
const char kQuery[] = "00000000500000050a00000100eb977e";
const char kActivate[] = "00000000500000050a0000010162867e";
const char kKeepAlive[] = "00000100000000040000000372537e";
const char kBye[] = "00000100000000040000000101";
const char kByeFramed[] =
    "000001000000000400000001018782"
    "7e";

const char kHandshake[] = "sending startup command\nsending hello command\n";
const char kReport[] = "channel = 10 ,msg_type = 1 \n";
// The card answers each bye once: of the two answers awaited after the first, one never comes.
const char kByes[] = "\n\n\n\n#########send bye\n###Timed out, do nothing \nsend  bye again\n";

std::string states_out(const std::vector<const char *> &texts) {
    std::string s;
    for (const char *t : texts)
        s += std::string(kReport) + t + "\n";
    return s;
}

const std::vector<const char *> kEight = {"ACTIVATING", "AKEY DONE", "IMSI DONE", "MDN DONE",
                                          "NAM DONE",   "PRL DONE",  "SPL DONE",  "SSD DONE"};

class CardActivate : public ::testing::Test {
  protected:
    void SetUp() override {
        card_ = std::make_unique<CardSimThread>(Family::kKpc650);
        ASSERT_TRUE(card_->ok());
        mkdir(root_.host("/dev/usb").c_str(), 0755);
        mkdir(root_.host("/dev/usb/tts").c_str(), 0755);
        ASSERT_EQ(symlink(card_->slave().c_str(), root_.host("/dev/usb/tts/1").c_str()), 0);
        log_ = socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK, 0);
        sockaddr_un a = {};
        a.sun_family = AF_UNIX;
        std::string path = root_.host("/dev/log");
        ASSERT_LT(path.size(), sizeof a.sun_path);
        memcpy(a.sun_path, path.c_str(), path.size());
        ASSERT_EQ(bind(log_, reinterpret_cast<sockaddr *>(&a), sizeof a), 0);
    }
    void TearDown() override {
        if (pid_ > 0) stop_child(pid_);
        close(log_);
    }
    void say(const std::string &line) { ASSERT_EQ("", card_->control(line)) << line; }
    void start(const std::string &limit = "") {
        SpawnOptions o;
        o.stdout_path = root_.host("/stdout");
        if (!limit.empty()) o.env = {"CARDACTIVATE_TIME_LIMIT=" + limit};
        pid_ = spawn_program("cardactivate", {}, o);
        ASSERT_GT(pid_, 0);
    }
    // The exit status, waiting as long as the tool itself may take.
    int finish() {
        int st = wait_child(pid_, 200000);
        pid_ = -1;
        return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    }
    std::string out() { return read_file(root_.host("/stdout")); }
    // Every byte the card read, as hex.
    std::string wire() {
        std::string all;
        for (const std::string &l : card_->log_lines("raw "))
            all += l.substr(4);
        return all;
    }
    std::vector<std::string> syslog_texts() {
        std::vector<std::string> texts;
        char buf[2048];
        ssize_t n;
        while ((n = recv(log_, buf, sizeof buf, 0)) > 0) {
            std::string m(buf, static_cast<size_t>(n));
            size_t at = m.find("]: ");
            texts.push_back(at == std::string::npos ? m : m.substr(at + 3));
            EXPECT_EQ(m.rfind("<150>", 0), 0u) << m;  // local2.info
        }
        return texts;
    }

    TempRouterRoot root_;
    std::unique_ptr<CardSimThread> card_;
    pid_t pid_ = -1;
    int log_ = -1;
};

TEST_F(CardActivate, StatesOneToNineSucceedWithExactlyTheFixedFramesOnTheWire) {
    say("prl 4660 be");
    start();
    EXPECT_EQ(finish(), 0);
    EXPECT_EQ(out(), std::string(kHandshake) + states_out(kEight) + kReport +
                         "Activate successful\n" + kByes);
    EXPECT_EQ(wire(), std::string(kStartup) + kHello + kGetPrl + kQuery + kActivate + kByeFramed +
                          kByeFramed);
    EXPECT_EQ(card_->log_lines("stray").size(), 1u);  // the startup frame's trailing 00
    EXPECT_EQ(syslog_texts(),
              (std::vector<std::string>{"sending GetPRLVersion command\n",
                                        "receive message with channel:10,type:2304 \n",
                                        "Old PRL Version:4660\n", "sending activate command\n"}));
}

TEST_F(CardActivate, PrlReplyWithTheTypeLowByteFirstIsRecognisedToo) {
    say("prl 77 le");
    say("otasp 9");
    start();
    EXPECT_EQ(finish(), 0);
    std::vector<std::string> texts = syslog_texts();
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(texts[1], "receive message with channel:10,type:9 \n");
    EXPECT_EQ(texts[2], "Old PRL Version:77\n");
}

TEST_F(CardActivate, KeepAlivesAreAnsweredNotPrinted) {
    say("otasp 1");
    start();
    ASSERT_TRUE(card_->wait_log("otasp 1", 1, 30000));
    say("keepalive");
    ASSERT_TRUE(card_->wait_log("echo", 1, 30000));
    say("frame 00000000500000050a0000010"
        "9");
    EXPECT_EQ(finish(), 0);
    EXPECT_EQ(out(), std::string(kHandshake) + states_out({"ACTIVATING"}) + kReport +
                         "Activate successful\n" + kByes);
    EXPECT_NE(wire().find(std::string(kActivate) + kKeepAlive), std::string::npos);
}

TEST_F(CardActivate, StateZeroIsUnknownAndAChannelTenTypeTwoFrameIsOnlyPrinted) {
    say("otasp never");
    start();
    ASSERT_TRUE(card_->wait_log("req 00000000500000050a00000101", 1, 30000));
    say("frame 00000000500000050a00000100");
    say("frame 00000000500000050a00000205");
    say("frame 00000000500000050a00000109");
    EXPECT_EQ(finish(), 0);
    EXPECT_EQ(out(), std::string(kHandshake) + states_out({"Unknown Payload"}) +
                         "channel = 10 ,msg_type = 2 \n" + kReport + "Activate successful\n" +
                         kByes);
}

TEST_F(CardActivate, ABadHelloReplyGoesToBye) {
    say("hello 00");
    start();
    EXPECT_EQ(finish(), 1);
    EXPECT_EQ(out(), std::string(kHandshake) + "Modem SN negotiation failure\n" + kByes);
    EXPECT_EQ(wire(), std::string(kStartup) + kHello + kByeFramed + kByeFramed);
}

TEST_F(CardActivate, GluedAndSplitReportsAreAllTaken) {
    say("otasp glue");
    say("fault split 1 5");  // after the four answers and the first report
    start();
    EXPECT_EQ(finish(), 0);
    EXPECT_EQ(card_->log_lines("tail").size(), 1u);
    EXPECT_EQ(out(), std::string(kHandshake) + states_out(kEight) + kReport +
                         "Activate successful\n" + kByes);
}

TEST_F(CardActivate, NoReportsWithinAShortLimitFails) {
    say("otasp never");
    start("3");
    EXPECT_EQ(finish(), 1);
    EXPECT_EQ(out(), std::string(kHandshake) + kByes);
    EXPECT_EQ(card_->log_lines(std::string("req ") + kBye).size(), 2u);
}

TEST_F(CardActivate, AVanishingCardEndsItPromptlyWithOneBye) {
    say("otasp 1");
    start();
    ASSERT_TRUE(card_->wait_log("otasp 1", 1, 30000));
    ASSERT_TRUE(wait_until([&] { return out().find("ACTIVATING\n") != std::string::npos; }, 30000));
    say("vanish");
    int st = wait_child(pid_, 60000);  // far below the two minutes of the time limit
    pid_ = -1;
    ASSERT_TRUE(WIFEXITED(st));
    EXPECT_EQ(WEXITSTATUS(st), 1);
    EXPECT_EQ(out(), std::string(kHandshake) + states_out({"ACTIVATING"}) +
                         "\n\n\n\n#########send bye\nWrite to /dev/usb/tts/1 error\n");
}

TEST(CardActivateNoCard, MissingPortEndsWithStatusOne) {
    TempRouterRoot root;
    RunResult r = run_program("cardactivate", {});
    EXPECT_EQ(r.exit_code(), 1);
    EXPECT_EQ(r.out, "Cannot open /dev/usb/tts/1\n");
}

}  // namespace
