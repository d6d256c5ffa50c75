// gpioctl under a router root: every request recorded, in order, as "OP LINE VALUE".
#include "platform/gpio.h"

#include <gtest/gtest.h>

#include "platform/router_root.h"
#include "tests/support/testsupport.h"

namespace {

using testsupport::read_file;

TEST(Gpio, RecordsEachRequestInOrderCreatingTheFile) {
    testsupport::TempRouterRoot root;
    EXPECT_EQ(gpioctl(2, 0, 1), 0);
    EXPECT_EQ(gpioctl(2, 3, 1), 0);
    EXPECT_EQ(gpioctl(7, 12, -1), 0);
    EXPECT_EQ(read_file(root.host("/dev/gpio/ops")), "2 0 1\n2 3 1\n7 12 -1\n");
}

TEST(Gpio, FailsWhenTheRecordCannotBeWritten) {
    testsupport::TempRouterRoot root;
    // A directory where the record file should be.
    ASSERT_EQ(router_mkdirs("/dev/gpio/ops"), 0);
    EXPECT_EQ(gpioctl(2, 0, 1), -1);
}

}  // namespace
