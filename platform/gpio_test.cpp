// gpioctl under a router root: every request recorded, in order, as "OP LINE VALUE".
#include "platform/gpio.h"

#include <gtest/gtest.h>

#include <errno.h>
#include <sys/stat.h>

#include "platform/gpio_testing.h"
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

TEST(GpioBits, RequestsAreLinesAndInputsAnswerLineByLine) {
    testsupport::TempRouterRoot root;
    gpio_testing_reset_inputs();
    EXPECT_EQ(-1, gpio_bits_open());  // no node: no driver, and none is made
    struct stat st;
    EXPECT_NE(0, stat(root.host("/dev/gpio/bits").c_str(), &st));
    ASSERT_EQ(0, router_mkdirs("/dev/gpio"));
    testsupport::write_file(root.host("/dev/gpio/bits"), "");
    int fd = gpio_bits_open();
    ASSERT_GE(fd, 0);
    uint32_t word = 0x1234;
    errno = 0;
    EXPECT_EQ(-1, gpio_bits_read(fd, &word));  // no input words: EIO, the word untouched
    EXPECT_EQ(EIO, errno);
    EXPECT_EQ(0x1234u, word);
    testsupport::write_file(root.host("/dev/gpio/bits.in"), "ff\n0000004F\n");
    gpio_testing_reset_inputs();  // the failed request above was the process's first
    EXPECT_EQ(0, gpio_bits_set(fd, kGpioBitOn, 2));
    EXPECT_EQ(0, gpio_bits_set(fd, kGpioBitOff, 3));
    for (uint32_t want : {0xffu, 0x4fu, 0x4fu}) {  // the last line repeats
        ASSERT_EQ(0, gpio_bits_read(fd, &word));
        EXPECT_EQ(want, word);
    }
    gpio_bits_close(fd);
    EXPECT_EQ("on 2\noff 3\nin 000000ff\nin 0000004f\nin 0000004f\n",
              read_file(root.host("/dev/gpio/bits")));
}

}  // namespace
