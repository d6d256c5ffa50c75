#include "platform/utils.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/console.h"
#include "tests/support/testsupport.h"

namespace {

TEST(MemoryInfo, ReadsMeminfoUnderTheRouterRoot) {
    testsupport::TempRouterRoot root;
    testsupport::write_file(
        root.host("/proc/meminfo"),
        "MemTotal:          30000 kB\nMemFree:            8000 kB\nMemAvailable:  9 kB\n"
        "Buffers:            1000 kB\nCached:             4000 kB\nShmem:  12 kB\n");
    uint32_t w[kMemoryInfoWords];
    ASSERT_EQ(0, memory_info(w));
    EXPECT_EQ(30000u, w[0]);
    EXPECT_EQ(22000u, w[1]);
    EXPECT_EQ(8000u, w[2]);
    EXPECT_EQ(12u, w[3]);
    EXPECT_EQ(1000u, w[4]);
    EXPECT_EQ(4000u, w[5]);
}

TEST(MemoryInfo, MissingOrEmptyFileFails) {
    testsupport::TempRouterRoot root;
    uint32_t w[kMemoryInfoWords];
    EXPECT_EQ(-1, memory_info(w));
    testsupport::write_file(root.host("/proc/meminfo"), "nothing here\n");
    EXPECT_EQ(-1, memory_info(w));
}

TEST(Console, AppendsUnderTheRootAndDropsWhenItCannotOpen) {
    testsupport::TempRouterRoot root;
    EXPECT_EQ(6, console_write("hello\n", 6));
    EXPECT_EQ(5, console_printf("n=%d\n", 42));
    EXPECT_EQ("hello\nn=42\n", testsupport::read_file(root.host("/dev/console")));
    // Make "/dev" a file: the console cannot be opened, the message is dropped.
    std::string dev = root.host("/dev");
    ASSERT_EQ(0, std::remove((dev + "/console").c_str()));
    ASSERT_EQ(0, std::remove(dev.c_str()));
    testsupport::write_file(dev, "");
    EXPECT_EQ(-1, console_write("lost\n", 5));
}

}  // namespace
