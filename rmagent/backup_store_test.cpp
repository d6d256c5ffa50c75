// Editing the backup store: values growing and shrinking inside the image, and the copy to
// and from the flash partition.
#include "rmagent/backup_store.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "platform/backup_edit.h"
#include "tests/support/testsupport.h"

namespace {

// An image: header, entries, the empty string, then `pad` bytes of padding.
std::string image(const std::string &entries, size_t pad) {
    std::string img("FLSH\0\0\0\0", 8);
    img[4] = static_cast<char>(20 + entries.size() + 1);
    img += std::string(12, '\x5a');
    return img + entries + std::string(1, '\0') + std::string(pad, '\0');
}

std::string set(std::string img, const char *name, const char *value, int *rc) {
    *rc = backup_image_set(reinterpret_cast<uint8_t *>(img.data()), img.size(), name, value);
    return img;
}

const std::string kEntries("a=1\0vzw_reconnect_interval=30\0ab=2\0", 35);

TEST(BackupImage, GrowingByOneByteMovesTheRestTowardsTheEnd) {
    int rc;
    std::string before = image(kEntries, 4);
    std::string out = set(before, "vzw_reconnect_interval", "120", &rc);
    EXPECT_EQ(0, rc);
    std::string expected = image(std::string("a=1\0vzw_reconnect_interval=120\0ab=2\0", 36), 3);
    expected[4] = before[4];  // the header is not changed
    EXPECT_EQ(expected, out);
}

TEST(BackupImage, ShrinkingByOneByteMovesTheRestTowardsTheStart) {
    int rc;
    std::string grown = image(std::string("a=1\0vzw_reconnect_interval=120\0ab=2\0", 36), 3);
    std::string out = set(grown, "vzw_reconnect_interval", "30", &rc);
    EXPECT_EQ(0, rc);
    std::string expected = image(kEntries, 4);
    expected[4] = grown[4];  // the header is not changed
    EXPECT_EQ(expected, out);
}

TEST(BackupImage, NameMatchesOnlyTheWholeNameAndAbsentNamesChangeNothing) {
    int rc;
    std::string out = set(image(kEntries, 4), "a", "9", &rc);
    EXPECT_EQ(0, rc);
    EXPECT_NE(std::string::npos, out.find(std::string("a=9\0", 4)));
    EXPECT_NE(std::string::npos, out.find(std::string("ab=2\0", 5)));
    std::string before = image(kEntries, 4);
    EXPECT_EQ(before, set(before, "vzw", "1", &rc));
    EXPECT_EQ(-1, rc);
}

TEST(BackupImage, GrowthBeyondThePaddingIsRefusedAndNoEntryIsLost) {
    int rc;
    std::string full = image(kEntries, 1);
    EXPECT_EQ(full, set(full, "vzw_reconnect_interval", "12345", &rc));
    EXPECT_EQ(-2, rc);
    std::string ok = set(full, "vzw_reconnect_interval", "31", &rc);  // same length
    EXPECT_EQ(0, rc);
    EXPECT_NE(std::string::npos, ok.find(std::string("ab=2\0", 5)));
}

TEST(BackupImage, EntriesAfterTheEndOfTheListAreNotLookedAt) {
    int rc;
    std::string img = image(std::string("a=1\0", 4), 0) + std::string("stale=1\0", 8);
    EXPECT_EQ(img, set(img, "stale", "2", &rc));
    EXPECT_EQ(-1, rc);
}

class BackupStore : public ::testing::Test {
  protected:
    void SetUp() override {
        mkdir(root_.host("/flash").c_str(), 0755);
        std::string bin = root_.host("/bin");
        mkdir(bin.c_str(), 0755);
        // Stand-ins for the platform commands: copy between "/flash/NAME" and the file.
        testsupport::write_file(bin + "/nvram_mtd_read",
                                "#!/bin/sh\ncp \"$ROUTER_ROOT/flash/$2\" \"$ROUTER_ROOT$1\"\n");
        testsupport::write_file(bin + "/nvram_mtd_write",
                                "#!/bin/sh\ncp \"$ROUTER_ROOT$1\" \"$ROUTER_ROOT/flash/$2\"\n");
        chmod((bin + "/nvram_mtd_read").c_str(), 0755);
        chmod((bin + "/nvram_mtd_write").c_str(), 0755);
        const char *path = getenv("PATH");
        old_path_ = path ? path : "/usr/bin:/bin";
        setenv("PATH", (bin + ":" + old_path_).c_str(), 1);
    }
    void TearDown() override {
        backup_nvram_fini();
        setenv("PATH", old_path_.c_str(), 1);
    }
    testsupport::TempRouterRoot root_;
    std::string old_path_;
};

TEST_F(BackupStore, EditReachesThePartitionThroughTheFile) {
    testsupport::write_file(root_.host("/flash/backup"), image(kEntries, 8));
    ASSERT_EQ(0, backup_nvram_init());
    EXPECT_EQ(0, backup_nvram_set("vzw_reconnect_interval", "120"));
    EXPECT_EQ(-1, backup_nvram_set("absent", "1"));
    backup_nvram_fini();
    EXPECT_EQ(-1, nvram_backup_fd);
    EXPECT_EQ(0, backup_nvram_commit());
    std::string flash = testsupport::read_file(root_.host("/flash/backup"));
    std::string expected = image(std::string("a=1\0vzw_reconnect_interval=120\0ab=2\0", 36), 7);
    expected[4] = image(kEntries, 8)[4];
    EXPECT_EQ(expected, flash);
}

// Whether another open file description gets the edit lock right now.
bool lock_free(const testsupport::TempRouterRoot &root) {
    int fd = open(root.host(kBackupLockPath).c_str(), O_RDWR | O_CREAT, 0600);
    bool got = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (fd >= 0) close(fd);
    return got;
}

TEST_F(BackupStore, EditLockIsHeldFromInitToCommit) {
    testsupport::write_file(root_.host("/flash/backup"), image(kEntries, 8));
    ASSERT_EQ(0, backup_nvram_init());
    EXPECT_FALSE(lock_free(root_));
    backup_nvram_fini();
    EXPECT_FALSE(lock_free(root_));
    EXPECT_EQ(0, backup_nvram_commit());
    EXPECT_TRUE(lock_free(root_));
}

TEST_F(BackupStore, FailedCopyOutOfFlashNeverUsesALeftoverWorkingFile) {
    // No partition: the copy fails; qvt's leftover working copy must not be mapped.
    testsupport::write_file(root_.host("/tmp/nvram.backup"), image(kEntries, 8));
    EXPECT_EQ(-1, backup_nvram_init());
    EXPECT_EQ(-1, nvram_backup_fd);
    EXPECT_TRUE(lock_free(root_));
}

TEST_F(BackupStore, MissingPartitionFailsTheOpen) {
    EXPECT_EQ(-1, backup_nvram_init());
    EXPECT_EQ(-1, nvram_backup_fd);
    EXPECT_EQ(-1, backup_nvram_set("a", "1"));
}

}  // namespace
