// Notifications from a card that floods: the console gets at most ten lines of a kind a second.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "modemd/sierra.h"
#include "modemd/sierra_transport.h"
#include "platform/console_testing.h"
#include "platform/env_fake.h"
#include "tests/support/testsupport.h"

namespace {

size_t count(const std::string &text, const std::string &what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

TEST(SierraNotice, GarbageObjectIdsReachTheConsoleTenTimesASecond) {
    testsupport::TempRouterRoot root;
    FakeEnv env;
    console_testing_forget();
    uint8_t frame[kSierraHeaderLen + kCnsHeaderLen] = {};
    for (int i = 0; i < 200; ++i) {
        frame[kSierraHeaderLen] = 0x10;
        frame[kSierraHeaderLen + 1] = static_cast<uint8_t>(i);
        EXPECT_EQ(-1, sierra_cns_notice_hander(-1, frame, sizeof frame));
        frame[kSierraHeaderLen] = 0;  // heartbeats, from the same card
        frame[kSierraHeaderLen + 1] = 0;
        EXPECT_EQ(static_cast<int>(sizeof frame),
                  sierra_cns_notice_hander(-1, frame, sizeof frame));
        env.advance(10);  // 200 of each in two seconds
    }
    std::string console = testsupport::read_file(root.host("/dev/console"));
    console_testing_forget();
    EXPECT_EQ(20u, count(console, "OID received \n"));
    EXPECT_EQ(20u, count(console, "Receive Heardbeat OID packet. \n"));
    EXPECT_EQ(1u,
              count(console, "90 more lines like \"Unknown (%04x) OID received \" held back\n"));
}

}  // namespace
