#include "modemd/modem_port.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "modemd/sierra_transport.h"
#include "platform/eventloop.h"
#include "platform/eventloop_testing.h"
#include "tests/support/testsupport.h"

namespace {

int g_calls;
int count_call(fd_desc *d) {
    ++g_calls;
    uint8_t buf[64];
    // Only drains the port: the test looks at what the read did to the watch.
    (void)modem_port_read(d->fd, buf, sizeof buf);
    return 0;
}

TEST(ModemPort, HungUpCardIsUnwatchedReportedOnceAndFailsFast) {
    testsupport::TempRouterRoot root;
    eventloop_reset();
    g_calls = 0;
    auto *pty = new testsupport::Pty;
    int fd = modem_port_open(pty->slave.c_str());
    ASSERT_GE(fd, 0);
    ASSERT_EQ(0, register_fd_desc(fd, count_call, nullptr));
    close(pty->slave_fd);
    pty->slave_fd = -1;
    delete pty;  // the card is pulled out
    for (int i = 0; i < 5; ++i)
        eventloop_step(50);
    EXPECT_EQ(1, g_calls);  // unregistered on the first hang-up: the loop does not spin
    EXPECT_FALSE(modem_port_ok(fd));
    uint16_t v;
    EXPECT_EQ(-1, sierra_cns_get_int16(fd, &v, 0x1001));
    modem_port_lost(fd, "again");
    std::string console = testsupport::read_file(root.host("/dev/console"));
    EXPECT_NE(std::string::npos, console.find("is gone"));
    EXPECT_EQ(console.find("is gone"), console.rfind("is gone"));
    close(fd);
    eventloop_reset();
}

}  // namespace
