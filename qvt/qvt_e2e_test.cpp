// qvt as a program: the burn-in stopped by a signal, and the backup store edited by qvt while
// the agent holds the edit lock, both through the real flash commands.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/nvram.h"
#include "platform/nvram_testing.h"
#include "rmagent/backup_store.h"
#include "tests/support/testsupport.h"

namespace {

using namespace testsupport;

class QvtProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        nvram_testing_forget();
        std::string cmd =
            std::string("sh '") + QVT_BOARD_SCRIPT + "' '" + root_.path() + "' ZK2300";
        ASSERT_EQ(0, std::system(cmd.c_str()));
        ASSERT_EQ(0, nvram_set("SN", "ZD0300000001"));
        mkdir(root_.host("/bin").c_str(), 0755);
        for (const char *p : {"mtd", "nvram_mtd_read", "nvram_mtd_write"}) {
            std::string path = root_.host("/bin/") + p;
            write_file(path, "#!/bin/sh\nexec " + program_command(p) + " \"$@\"\n");
            chmod(path.c_str(), 0755);
        }
        opts_.path_prefix = root_.host("/bin");
        opts_.stdout_path = root_.host("/qvt.out");
        opts_.stderr_path = root_.host("/qvt.err");
        opts_.env = {"QVT_SECOND_MS=1"};
        const char *path = getenv("PATH");
        old_path_ = path ? path : "/usr/bin:/bin";
        setenv("PATH", (root_.host("/bin") + ":" + old_path_).c_str(), 1);
    }
    void TearDown() override {
        if (pid_ > 0) stop_child(pid_);
        backup_nvram_fini();
        setenv("PATH", old_path_.c_str(), 1);
        nvram_testing_forget();
    }
    std::string console() { return read_file(root_.host("/dev/console")); }

    TempRouterRoot root_;
    SpawnOptions opts_;
    pid_t pid_ = -1;
    std::string old_path_;
};

size_t count(const std::string &text, const std::string &what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

TEST_F(QvtProgram, BurninStopsOnSigtermAfterTheStepUnderWayWithTheLedsOff) {
    pid_ = spawn_program("qvt", {"Sj", "F", "1"}, opts_);
    ASSERT_TRUE(wait_until([&] { return count(console(), "Test1: LED test") >= 3; }, 60000))
        << console();
    ASSERT_EQ(0, kill(pid_, SIGTERM));
    int status = wait_child(pid_, 60000);
    pid_ = -1;
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(0, WEXITSTATUS(status));
    std::string out = console();
    size_t at = out.find("BurninTest stopped after ");
    ASSERT_NE(std::string::npos, at) << out;
    unsigned passes = static_cast<unsigned>(atoi(out.c_str() + at + 25));
    EXPECT_GE(passes, 2u);
    EXPECT_EQ(passes, count(out, "Test4: Ethernet test"));  // every begun pass completed
    EXPECT_EQ(" passes\n", out.substr(out.size() - 8));
    std::string gpio = read_file(root_.host("/dev/gpio/bits"));
    EXPECT_EQ("off 0\noff 1\noff 2\noff 3\n", gpio.substr(gpio.size() - 24)) << gpio;
    EXPECT_GE(count(out, "Flash test Ok \n"), passes);
    EXPECT_EQ(0u, count(out, "Flash test error"));
    EXPECT_STREQ("12345", nvram_get("temp_flag1"));
}

// Whether `pid` waits for a flock (a "->" line of /proc/locks).
bool waits_for_lock(pid_t pid) {
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream words(line);
        std::string w;
        bool blocked = false, flock = false, ours = false;
        while (words >> w) {
            if (w == "->") blocked = true;
            if (w == "FLOCK") flock = true;
            if (w == std::to_string(pid)) ours = true;
        }
        if (blocked && flock && ours) return true;
    }
    return false;
}

TEST_F(QvtProgram, QvtWaitsForTheAgentsEditAndKeepsIt) {
    // The agent copies the store out and holds the lock while it edits.
    ASSERT_EQ(0, backup_nvram_init());
    pid_ = spawn_program("qvt", {"D3", "Sn", "ZD0399999999"}, opts_);
    ASSERT_TRUE(wait_until([&] { return waits_for_lock(pid_); }, 60000));
    ASSERT_EQ(0, backup_nvram_set("other", "KEPT"));
    backup_nvram_fini();
    ASSERT_EQ(0, backup_nvram_commit());
    int status = wait_child(pid_, 60000);
    pid_ = -1;
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status));
    std::string flash = read_file(root_.host("/flash/backup"));
    EXPECT_NE(std::string::npos, flash.find(std::string("SN=ZD0399999999\0", 16))) << flash;
    EXPECT_NE(std::string::npos, flash.find(std::string("other=KEPT\0", 11))) << flash;
    EXPECT_EQ("", read_file(root_.host("/qvt.err")));
}

}  // namespace
