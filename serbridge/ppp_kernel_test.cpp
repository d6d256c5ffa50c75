// The kernel channel's unbinding against a kernel acted out through the ioctl hook: a kernel
// that refuses PPPIOCDETACH (as Linux does today) must still get the terminal back into its
// normal discipline; a real failure stops the unbinding with its message.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/ppp-ioctl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "serbridge/log.h"
#include "serbridge/ppp_channel.h"
#include "serbridge/ppp_kernel_testing.h"

namespace {

struct Call {
    int fd;
    unsigned long request;
    int value;  // the int argument, where there is one
};

std::vector<Call> g_calls;
int g_detach_errno;  // what PPPIOCDETACH fails with; 0: it succeeds

int fake_ioctl(int fd, unsigned long request, void *arg) {
    int value = arg && request != PPPIOCGCHAN ? *static_cast<int *>(arg) : -1;
    g_calls.push_back({fd, request, value});
    if (request == PPPIOCGCHAN) {
        *static_cast<int *>(arg) = 7;
        return 0;
    }
    if (request == PPPIOCDETACH && g_detach_errno) {
        errno = g_detach_errno;
        return -1;
    }
    return 0;
}

class KernelChannel : public ::testing::Test {
  protected:
    void SetUp() override {
        g_calls.clear();
        ppp_kernel_testing_ioctl(fake_ioctl);
        ASSERT_EQ(0, pipe(log_));
        log_to_fd = log_[1];
    }
    void TearDown() override {
        ppp_kernel_testing_ioctl(nullptr);
        log_to_fd = 0;
        close(log_[0]);
        close(log_[1]);
    }
    std::string logged() {
        fcntl(log_[0], F_SETFL, O_NONBLOCK);
        char buf[512];
        ssize_t n = read(log_[0], buf, sizeof buf);
        return std::string(buf, static_cast<size_t>(n > 0 ? n : 0));
    }
    bool switched_to_n_tty(int tty) {
        for (const Call &c : g_calls)
            if (c.fd == tty && c.request == TIOCSETD && c.value == 0) return true;
        return false;
    }
    bridge_ctx ctx_ = {};
    int log_[2] = {-1, -1};
};

TEST_F(KernelChannel, RefusedDetachStillReturnsTheTerminalToItsDiscipline) {
    g_detach_errno = EINVAL;
    EXPECT_EQ(0, tty_disestablish_ppp(&ctx_, 11, 12));
    ASSERT_EQ(3u, g_calls.size());
    EXPECT_EQ(PPPIOCGCHAN, g_calls[0].request);
    EXPECT_EQ(12, g_calls[1].fd);
    EXPECT_EQ(PPPIOCDETACH, g_calls[1].request);
    EXPECT_TRUE(switched_to_n_tty(11));
    EXPECT_EQ("", logged());
}

TEST_F(KernelChannel, OtherDetachFailuresStopWithTheirMessage) {
    g_detach_errno = EBADF;
    EXPECT_EQ(-1, tty_disestablish_ppp(&ctx_, 11, 12));
    EXPECT_FALSE(switched_to_n_tty(11));
    EXPECT_EQ(0u, logged().find("Couldn't attach to channel "));
}

TEST_F(KernelChannel, BindAndUnbindWhenTheKernelAcceptsEverything) {
    g_detach_errno = 0;
    EXPECT_EQ(0, tty_establish_ppp(&ctx_, 11, 12));
    ASSERT_EQ(3u, g_calls.size());
    EXPECT_EQ(TIOCSETD, g_calls[0].request);
    EXPECT_EQ(N_PPP, g_calls[0].value);
    EXPECT_EQ(PPPIOCATTCHAN, g_calls[2].request);
    EXPECT_EQ(7, g_calls[2].value);  // the terminal's channel number
    g_calls.clear();
    EXPECT_EQ(0, tty_disestablish_ppp(&ctx_, 11, 12));
    EXPECT_TRUE(switched_to_n_tty(11));
}

}  // namespace
