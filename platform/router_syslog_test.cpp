#include "platform/router_syslog.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "tests/support/testsupport.h"

namespace {

// A syslog daemon's socket under the router root.
class RootLog : public ::testing::Test {
  protected:
    void SetUp() override {
        sock_ = socket(AF_UNIX, SOCK_DGRAM, 0);
        sockaddr_un addr = {};
        addr.sun_family = AF_UNIX;
        std::string path = root_.host("/dev/log");
        ASSERT_LT(path.size(), sizeof addr.sun_path);
        std::strcpy(addr.sun_path, path.c_str());
        ASSERT_EQ(0, bind(sock_, reinterpret_cast<sockaddr *>(&addr), sizeof addr));
    }
    void TearDown() override {
        router_closelog();
        close(sock_);
    }
    // The next datagram, or "" when none is waiting.
    std::string next() {
        char buf[2048];
        ssize_t n = recv(sock_, buf, sizeof buf, MSG_DONTWAIT);
        return n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
    }
    testsupport::TempRouterRoot root_;
    int sock_ = -1;
};

TEST_F(RootLog, SendsToTheRootSocketWithPriorityIdentityAndPid) {
    router_openlog("tester", LOG_PID | LOG_NDELAY, LOG_LOCAL2);
    router_syslog(LOG_ERR, "%s %d", "broken", 7);
    std::string msg = next();
    std::string head = "<" + std::to_string(LOG_LOCAL2 | LOG_ERR) + ">";
    EXPECT_EQ(0u, msg.find(head)) << msg;
    std::string tail = " tester[" + std::to_string(getpid()) + "]: broken 7";
    ASSERT_GE(msg.size(), tail.size());
    EXPECT_EQ(tail, msg.substr(msg.size() - tail.size()));
}

TEST_F(RootLog, MaskDropsDebug) {
    router_openlog("tester", LOG_NDELAY, LOG_LOCAL2);
    router_setlogmask(LOG_UPTO(LOG_INFO));
    router_syslog(LOG_DEBUG, "hidden");
    router_syslog(LOG_INFO, "shown");
    std::string msg = next();
    EXPECT_NE(std::string::npos, msg.find("tester: shown")) << msg;
    EXPECT_EQ("", next());
    router_setlogmask(0xFF);
}

}  // namespace
