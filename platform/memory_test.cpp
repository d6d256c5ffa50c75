#include "platform/memory.h"

#include <gtest/gtest.h>

#include "tests/support/testsupport.h"

namespace {

TEST(CheckMemoryAvalid, ComparesWithTheFreeMemory) {
    testsupport::TempRouterRoot root;
    EXPECT_EQ(0, check_memory_avalid(1));  // no figures: nothing can be spared
    testsupport::write_file(root.host("/proc/meminfo"),
                            "MemTotal: 16384 kB\nMemFree: 4096 kB\nCached: 2048 kB\n");
    EXPECT_NE(0, check_memory_avalid(4096ull * 1024));
    EXPECT_EQ(0, check_memory_avalid(4096ull * 1024 + 1));
}

}  // namespace
