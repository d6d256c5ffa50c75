#include "platform/flash.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/support/testsupport.h"

namespace {

using testsupport::read_file;
using testsupport::write_file;

class Flash : public ::testing::Test {
  protected:
    void SetUp() override { mkdir(root_.host("/flash").c_str(), 0755); }
    testsupport::TempRouterRoot root_;
    const char *why_ = "";
};

TEST_F(Flash, ReadCopiesThePartitionToAFileUnderTheRouterRoot) {
    std::string image("FLSH\x14\0\0\0 binary\0bytes", 19);
    write_file(root_.host("/flash/backup"), image);
    ASSERT_EQ(0, flash_read_partition("backup", "/tmp/nvram.backup", &why_)) << why_;
    EXPECT_EQ(image, read_file(root_.host("/tmp/nvram.backup")));
}

TEST_F(Flash, WriteReplacesThePartitionAndLeavesNothingAside) {
    write_file(root_.host("/flash/backup"), "old contents that are longer");
    write_file(root_.host("/tmp/edit"), "new");
    ASSERT_EQ(0, flash_write_partition("/tmp/edit", "backup", &why_)) << why_;
    EXPECT_EQ("new", read_file(root_.host("/flash/backup")));
    struct stat st;
    EXPECT_NE(0, stat(root_.host("/flash/backup.new").c_str(), &st));
}

TEST_F(Flash, MissingPartitionOrSourceFailsAndChangesNothing) {
    EXPECT_EQ(-1, flash_read_partition("backup", "/tmp/x", &why_));
    EXPECT_STREQ("no such partition", why_);
    write_file(root_.host("/flash/backup"), "kept");
    EXPECT_EQ(-1, flash_write_partition("/tmp/absent", "backup", &why_));
    EXPECT_EQ("kept", read_file(root_.host("/flash/backup")));
}

TEST_F(Flash, PartitionNameMustBeOneComponent) {
    for (const char *bad : {"", ".", "..", "../nvram", "a/b"}) {
        EXPECT_EQ(-1, flash_read_partition(bad, "/tmp/x", &why_)) << bad;
        EXPECT_EQ(-1, flash_write_partition("/tmp/x", bad, &why_)) << bad;
    }
}

TEST(FlashCommands, CopyAPartitionToAFileAndBack) {
    testsupport::TempRouterRoot root;
    mkdir(root.host("/flash").c_str(), 0755);
    write_file(root.host("/flash/backup"), "partition");
    auto r = testsupport::run_program("nvram_mtd_read", {"/tmp/nvram.backup", "backup"});
    ASSERT_EQ(0, r.exit_code()) << r.err;
    EXPECT_EQ("partition", read_file(root.host("/tmp/nvram.backup")));
    write_file(root.host("/tmp/nvram.backup"), "edited");
    r = testsupport::run_program("nvram_mtd_write", {"/tmp/nvram.backup", "backup"});
    ASSERT_EQ(0, r.exit_code()) << r.err;
    EXPECT_EQ("edited", read_file(root.host("/flash/backup")));
    r = testsupport::run_program("nvram_mtd_read", {"/tmp/x", "absent"});
    EXPECT_EQ(1, r.exit_code());
    EXPECT_NE(std::string::npos, r.err.find("no such partition")) << r.err;
}

}  // namespace
