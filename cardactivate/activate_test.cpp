// The activation run in-process on the fake clock, the card's answers written in advance into
// a pty: two minutes of keep-alives or of silence pass in milliseconds.
#include "cardactivate/activate.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "cardactivate/frames.h"
#include "common/fcs16.h"
#include "platform/env_fake.h"
#include "tests/support/testsupport.h"

namespace {

using Bytes = std::vector<uint8_t>;
using namespace testsupport;

Bytes framed(const Bytes &data) {
    Bytes out;
    Bytes in = data;
    uint16_t fcs = fcs16(data.data(), data.size());
    in.push_back(static_cast<uint8_t>(fcs));
    in.push_back(static_cast<uint8_t>(fcs >> 8));
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

Bytes command(const CardCommand &c) {
    return Bytes(c.bytes, c.bytes + c.len);
}

const Bytes kHelloReply = {0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00,
                           0x00, 0x00, 0x00, 0x01, 0x21, 0x01, 0x01, 0x00};
const Bytes kPrlReply = {0x00, 0x00, 0x00, 0x00, 0x2D, 0x00, 0x00, 0x04,
                         0x0A, 0x00, 0x00, 0x09, 0x00, 0x00, 0x07};
const Bytes kQueryReply = {0x00, 0x00, 0x00, 0x00, 0x50, 0x00, 0x00,
                           0x05, 0x0A, 0x00, 0x00, 0x01, 0x00};
const Bytes kKeepAlive = {0x00, 0x0C, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03};

class Activation : public ::testing::Test {
  protected:
    void SetUp() override {
        mkdir(root_.host("/dev/usb").c_str(), 0755);
        mkdir(root_.host("/dev/usb/tts").c_str(), 0755);
        ASSERT_EQ(symlink(pty_.slave.c_str(), root_.host("/dev/usb/tts/1").c_str()), 0);
        unsetenv("CARDACTIVATE_TIME_LIMIT");
    }
    // The card's answers up to the start of activation, then `more`, all in the pty at once.
    void card_says(const Bytes &more) {
        Bytes all;
        for (const Bytes &d :
             {Bytes{0x4B, 0x00, 0x10, 0x04}, kHelloReply, kPrlReply, kQueryReply}) {
            Bytes f = framed(d);
            all.insert(all.end(), f.begin(), f.end());
        }
        all.insert(all.end(), more.begin(), more.end());
        ASSERT_EQ(write(pty_.master, all.data(), all.size()), ssize_t(all.size()));
    }
    Bytes sent() {
        Bytes got;
        int flags = fcntl(pty_.master, F_GETFL);
        fcntl(pty_.master, F_SETFL, flags | O_NONBLOCK);
        uint8_t buf[4096];
        ssize_t n;
        while ((n = read(pty_.master, buf, sizeof buf)) > 0)
            got.insert(got.end(), buf, buf + n);
        return got;
    }
    int run(std::string *out) {
        testing::internal::CaptureStdout();
        int status = cardActivate();
        *out = testing::internal::GetCapturedStdout();
        return status;
    }
    Bytes expected_sent(int keepalives) {
        Bytes want;
        for (const CardCommand *c : {&command_startup, &command_hello, &commandGetPRLVersion,
                                     &commandActivtionQuery, &commandActivtion}) {
            Bytes b = command(*c);
            want.insert(want.end(), b.begin(), b.end());
        }
        for (int i = 0; i < keepalives; ++i) {
            Bytes b = command(commandKeepAlive);
            want.insert(want.end(), b.begin(), b.end());
        }
        for (int i = 0; i < 2; ++i) {
            Bytes b = command(commandBye);
            want.insert(want.end(), b.begin(), b.end());
        }
        return want;
    }

    TempRouterRoot root_;
    Pty pty_;
    FakeEnv env_;
};

const char kByes[] =
    "\n\n\n\n#########send bye\n###Timed out, do nothing \n###Timed out, do nothing \n"
    "send  bye again\n###Timed out, do nothing \n";

TEST_F(Activation, KeepAlivesOnlyAreEachAnsweredUntilTheTimeLimit) {
    Bytes three;
    for (int i = 0; i < 3; ++i) {
        Bytes f = framed(kKeepAlive);
        three.insert(three.end(), f.begin(), f.end());
    }
    card_says(three);
    unsigned long start = env_.now_ms();
    std::string out;
    EXPECT_EQ(run(&out), 1);
    EXPECT_GE(env_.now_ms() - start, 118000ul);
    EXPECT_EQ(out, std::string("sending startup command\nsending hello command\n") + kByes);
    EXPECT_EQ(sent(), expected_sent(3));
    EXPECT_STREQ(activationRsp, "Time out or error");
    EXPECT_STREQ(activationPRLVersion, "Old PRL Version:7");
}

TEST_F(Activation, SilenceAfterTheStartEndsAtTheTimeLimitSetByTheEnvironment) {
    setenv("CARDACTIVATE_TIME_LIMIT", "30", 1);
    card_says({});
    unsigned long start = env_.now_ms();
    std::string out;
    EXPECT_EQ(run(&out), 1);
    unsigned long took = env_.now_ms() - start;
    EXPECT_GE(took, 28000ul);
    EXPECT_LT(took, 40000ul);  // bye's three answer waits of 2 s come after the limit
    EXPECT_EQ(sent(), expected_sent(0));
    EXPECT_STREQ(activationRsp, "Time out or error");
    unsetenv("CARDACTIVATE_TIME_LIMIT");
}

TEST(ActivationLimit, OnlyASensibleNumberReplacesTwoMinutes) {
    const char *cases[][2] = {{"5", "5"},     {"86400", "86400"}, {"0", "120"},    {"-3", "120"},
                              {"12x", "120"}, {"", "120"},        {"86401", "120"}};
    for (auto &c : cases) {
        setenv("CARDACTIVATE_TIME_LIMIT", c[0], 1);
        EXPECT_EQ(cardactivate_time_limit(), atoi(c[1])) << c[0];
    }
    unsetenv("CARDACTIVATE_TIME_LIMIT");
    EXPECT_EQ(cardactivate_time_limit(), 120);
}

}  // namespace
