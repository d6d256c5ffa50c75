// The backup store edit as a transaction: the copy out of flash through `mtd`, the edit, the
// write-back, each failure, and the lock shared with the agent.
#include "platform/backup_edit.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/env_fake.h"
#include "platform/flash.h"
#include "tests/support/testsupport.h"

namespace {

using testsupport::read_file;
using testsupport::write_file;

std::string image(const std::string &entries) {
    std::string img("FLSH\x40\0\0\0", 8);
    img += std::string(12, '\x5a');
    return img + entries + std::string(1, '\0') + std::string(16, '\0');
}

class BackupEdit : public ::testing::Test {
  protected:
    void SetUp() override {
        mkdir(root_.host("/flash").c_str(), 0755);
        // `mtd` answered in process: read FILE PARTITION, write_nvram FILE PARTITION.
        env_.on_run = [this](const std::vector<std::string> &argv, const int *) {
            std::string line;
            for (const std::string &w : argv)
                line += w + " ";
            runs_.push_back(line);
            const char *why;
            if (argv.size() != 4 || argv[0] != "mtd") return 256;
            if (argv[1] == "read" && !fail_read_)
                return flash_read_partition(argv[3].c_str(), argv[2].c_str(), &why) == 0 ? 0 : 256;
            if (argv[1] == "write_nvram" && !fail_write_) {
                locked_during_write_ = other_can_lock() == false;
                return flash_write_partition(argv[2].c_str(), argv[3].c_str(), &why) == 0 ? 0 : 256;
            }
            return 256;
        };
    }
    // Whether another open file description gets the lock right now.
    bool other_can_lock() {
        int fd = open(root_.host(kBackupLockPath).c_str(), O_RDWR | O_CREAT, 0600);
        bool got = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0;
        if (fd >= 0) close(fd);
        return got;
    }
    int set(const char *name, const char *value) {
        ::testing::internal::CaptureStderr();
        int rc = backup_set(name, value);
        err_ = ::testing::internal::GetCapturedStderr();
        return rc;
    }
    std::string flash() { return read_file(root_.host("/flash/backup")); }

    testsupport::TempRouterRoot root_;
    FakeEnv env_;
    std::vector<std::string> runs_;
    std::string err_;
    bool fail_read_ = false, fail_write_ = false, locked_during_write_ = false;
};

const std::string kEntries("SN=ZD0000000001\0SNX=ZD0000000001\0et0macaddr=00:00:00:00:00:01", 61);

TEST_F(BackupEdit, SameLengthEntryReachesThePartitionUnderTheLock) {
    write_file(root_.host("/flash/backup"), image(kEntries));
    EXPECT_EQ(0, set("SN", "ZD0399999999"));
    EXPECT_EQ("", err_);
    EXPECT_EQ(
        image(std::string("SN=ZD0399999999\0SNX=ZD0000000001\0et0macaddr=00:00:00:00:00:01", 61)),
        flash());
    ASSERT_EQ(2u, runs_.size());
    EXPECT_EQ("mtd read /tmp/nvram.backup backup ", runs_[0]);
    EXPECT_EQ("mtd write_nvram /tmp/nvram.backup backup ", runs_[1]);
    EXPECT_TRUE(locked_during_write_);
    EXPECT_FALSE(backup_edit_locked());
    EXPECT_TRUE(other_can_lock());
}

TEST_F(BackupEdit, AnotherLengthIsReportedButStillWrittenBack) {
    write_file(root_.host("/flash/backup"), image(kEntries));
    write_file(root_.host("/tmp/nvram.backup"), "");  // proves the copy is made again
    EXPECT_EQ(-1, set("SN", "ZD01"));
    EXPECT_NE(std::string::npos, err_.find("no entry SN of that length")) << err_;
    EXPECT_EQ(2u, runs_.size());
    EXPECT_EQ(image(kEntries), flash());
}

TEST_F(BackupEdit, FailedReadNeverWritesAStaleCopyBack) {
    write_file(root_.host("/flash/backup"), image(kEntries));
    write_file(root_.host("/tmp/nvram.backup"), image(std::string("SN=ZDSTALE000001", 15)));
    fail_read_ = true;
    EXPECT_EQ(-1, set("SN", "ZD0399999999"));
    EXPECT_NE(std::string::npos, err_.find("mtd read failed")) << err_;
    EXPECT_EQ(1u, runs_.size());
    EXPECT_EQ(image(kEntries), flash());
    EXPECT_TRUE(other_can_lock());
}

TEST_F(BackupEdit, FailedWriteBackIsAFailure) {
    write_file(root_.host("/flash/backup"), image(kEntries));
    fail_write_ = true;
    EXPECT_EQ(-1, set("SN", "ZD0399999999"));
    EXPECT_NE(std::string::npos, err_.find("mtd write_nvram failed")) << err_;
    EXPECT_EQ(image(kEntries), flash());
}

TEST_F(BackupEdit, BadImagesAreReportedWithTheirMessages) {
    write_file(root_.host("/flash/backup"), std::string("FLSH\x40\0\0\0", 8));
    EXPECT_EQ(-1, set("SN", "ZD0399999999"));
    EXPECT_EQ("backup paritition is bad \n", err_);
    write_file(root_.host("/flash/backup"), "FLSX" + image(kEntries).substr(4));
    EXPECT_EQ(-1, set("SN", "ZD0399999999"));
    EXPECT_EQ("Bad nvram_hdr header\n", err_);
    EXPECT_EQ(1u, runs_.size() - 1);  // two reads, no write-back
    EXPECT_EQ(std::string::npos, runs_.back().find("write_nvram"));
}

TEST_F(BackupEdit, UnwritableWorkingCopyIsAFailure) {
    write_file(root_.host("/flash/backup"), image(kEntries));
    // A stand-in that leaves a directory where the working copy should be.
    env_.on_run = [this](const std::vector<std::string> &argv, const int *) {
        runs_.push_back(argv[1]);
        if (argv[1] == "read") mkdir(root_.host("/tmp/nvram.backup").c_str(), 0700);
        return 0;
    };
    EXPECT_EQ(-1, set("SN", "ZD0399999999"));
    EXPECT_NE(std::string::npos, err_.find("cannot open the working copy")) << err_;
    EXPECT_EQ(1u, runs_.size());
}

}  // namespace
