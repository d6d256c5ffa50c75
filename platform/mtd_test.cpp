#include "platform/mtd.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <string>

#include "common/bytes.h"
#include "tests/support/testsupport.h"

namespace {

using testsupport::read_file;
using testsupport::write_file;

// A file that starts with a TRX header of the given magic and length (the CRC is not mtd's
// concern: the agent checked it).
std::string image(uint32_t magic, size_t size) {
    std::string s(size, 'x');
    uint8_t head[8];
    put_le32(head, magic);
    put_le32(head + 4, static_cast<uint32_t>(size));
    s.replace(0, 8, reinterpret_cast<const char *>(head), 8);
    return s;
}

class Mtd : public ::testing::Test {
  protected:
    void SetUp() override {
        mkdir(root_.host("/flash").c_str(), 0755);
        write_file(root_.host("/flash/linux"), "old image");
    }
    int run(std::initializer_list<const char *> args) {
        std::vector<char *> argv;
        for (const char *a : args)
            argv.push_back(const_cast<char *>(a));
        argv.push_back(nullptr);
        return mtd_command(static_cast<int>(argv.size()) - 1, argv.data());
    }
    testsupport::TempRouterRoot root_;
    const char *why_ = "";
};

TEST_F(Mtd, UpgradeTrxWritesTheImageByteForByteIntoTheLinuxPartition) {
    std::string img = image(0x30524448, 5000);
    write_file(root_.host("/tmp/firmware.download"), img);
    EXPECT_EQ(0, run({"mtd", "upgrade_trx", "/tmp/firmware.download", "linux"}));
    EXPECT_EQ(img, read_file(root_.host("/flash/linux")));
    struct stat st;
    EXPECT_NE(0, stat(root_.host("/flash/linux.new").c_str(), &st));
}

TEST_F(Mtd, UpgradeTrxRefusesWhatIsNoImageForThePartitionAndKeepsTheOldOne) {
    struct Case {
        std::string bytes;
        const char *partition;
        const char *why;
    } cases[] = {
        {image(0x31524448, 5000), "linux", "not a TRX image"},
        {"HDR0", "linux", "not a TRX image"},
        {image(0x30524448, 7864321), "linux", "image larger than the partition"},
        {image(0x30524448, 5000), "nvram", "not a partition for an image"},
    };
    for (const Case &c : cases) {
        write_file(root_.host("/tmp/img"), c.bytes);
        EXPECT_EQ(-1, mtd_upgrade_trx("/tmp/img", c.partition, &why_)) << c.why;
        EXPECT_STREQ(c.why, why_);
        EXPECT_EQ("old image", read_file(root_.host("/flash/linux")));
    }
    EXPECT_EQ(-1, mtd_upgrade_trx("/tmp/absent", "linux", &why_));
    EXPECT_EQ(1, run({"mtd", "upgrade_trx", "/tmp/img"}));
}

TEST_F(Mtd, ImageFillingThePartitionExactlyIsTaken) {
    std::string img = image(0x30524448, 7864320);
    write_file(root_.host("/tmp/img"), img);
    EXPECT_EQ(0, mtd_upgrade_trx("/tmp/img", "linux", &why_)) << why_;
    EXPECT_EQ(img.size(), read_file(root_.host("/flash/linux")).size());
}

TEST_F(Mtd, ReadAndWriteNvramCopyPartitionsUnderTheRouterRoot) {
    EXPECT_EQ(0, run({"mtd", "read", "/tmp/copy", "linux"}));
    EXPECT_EQ("old image", read_file(root_.host("/tmp/copy")));
    write_file(root_.host("/tmp/nv"), "nvram bytes");
    EXPECT_EQ(0, run({"mtd", "write_nvram", "/tmp/nv"}));
    EXPECT_EQ("nvram bytes", read_file(root_.host("/flash/nvram")));
    write_file(root_.host("/tmp/bk"), "backup bytes");
    EXPECT_EQ(0, run({"mtd", "write_nvram", "/tmp/bk", "backup"}));
    EXPECT_EQ("backup bytes", read_file(root_.host("/flash/backup")));
    EXPECT_EQ("nvram bytes", read_file(root_.host("/flash/nvram")));
    EXPECT_EQ(1, run({"mtd", "read", "/tmp/copy", "absent"}));
}

TEST_F(Mtd, RefusesWithoutARouterRoot) {
    std::string root = getenv("ROUTER_ROOT");
    unsetenv("ROUTER_ROOT");
    ::testing::internal::CaptureStderr();
    int rc = run({"mtd", "write_nvram", "/tmp/nv"});
    std::string err = ::testing::internal::GetCapturedStderr();
    setenv("ROUTER_ROOT", root.c_str(), 1);
    EXPECT_EQ(1, rc);
    EXPECT_NE(std::string::npos, err.find("no ROUTER_ROOT")) << err;
}

}  // namespace
