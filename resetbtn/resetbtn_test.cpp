// The reset-button monitor: option handling in-process, and the program under a router root
// with the GPIO input device as a FIFO (a press is one byte written to it).
#include "resetbtn/resetbtn.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/nvram.h"
#include "tests/support/testsupport.h"

namespace {

using namespace testsupport;

int options(std::vector<std::string> words) {
    std::vector<char *> argv;
    for (std::string &w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    return resetbtn_options(static_cast<int>(words.size()), argv.data());
}

TEST(ResetbtnOptions, AcceptsOnlyDebugFlag) {
    EXPECT_EQ(options({"resetbtn"}), 0);
    EXPECT_EQ(options({"resetbtn", "-d"}), 0);
    EXPECT_EQ(options({"resetbtn", "-x"}), 1);
    EXPECT_EQ(options({"resetbtn", "-d", "extra"}), 1);
}

std::string all_nvram() {
    char buf[65536];
    int n = nvram_getall(buf, sizeof buf);
    std::string out;
    for (const char *p = buf; n > 0 && *p; p += strlen(p) + 1)
        out += std::string(p) + "\n";
    return out;
}

// Asleep: over a second and a half it takes at most a tenth of a second of CPU.
bool idle(pid_t pid) {
    return stays_idle(pid, 1500, sysconf(_SC_CLK_TCK) / 10);
}

int count_lines(const std::string &text) {
    int n = 0;
    for (char c : text)
        n += c == '\n';
    return n;
}

class ResetbtnProgram : public ::testing::Test {
  protected:
    void start(const std::vector<std::string> &args = {}) {
        SpawnOptions o;
        o.stdout_path = root_.host("/stdout");
        pid_ = spawn_program("resetbtn", args, o);
        ASSERT_GT(pid_, 0);
    }
    void TearDown() override {
        if (pid_ > 0) stop_child(pid_);
    }
    // Still running after a generous pause: nothing made it end.
    bool runs_on() { return wait_child(pid_, 1500) == -1; }
    std::string ops() { return read_file(root_.host("/dev/gpio/ops")); }

    TempRouterRoot root_;
    pid_t pid_ = -1;
};

const char kOneRestore[] = "2 0 1\n2 1 1\n2 2 1\n2 3 1\n";

TEST_F(ResetbtnProgram, EachPressRequestsOneRestoreAndChangesNothingElse) {
    ASSERT_EQ(nvram_set("lan_ipaddr", "192.168.0.1"), 0);
    std::string before = all_nvram();
    mkdir(root_.host("/dev/gpio").c_str(), 0755);
    ASSERT_EQ(mkfifo(root_.host("/dev/gpio/in").c_str(), 0600), 0);
    start();
    // Held open read/write by the test as well, so a press never waits for the monitor.
    int button = open(root_.host("/dev/gpio/in").c_str(), O_RDWR);
    ASSERT_GE(button, 0);

    ASSERT_EQ(write(button, "\1", 1), 1);
    ASSERT_TRUE(wait_until([&] { return count_lines(ops()) >= 4; }, 20000));
    EXPECT_EQ(ops(), kOneRestore);
    EXPECT_STREQ(nvram_safe_get("restore_defaults"), "1");
    EXPECT_EQ(all_nvram(), before + "restore_defaults=1\n");
    EXPECT_NE(read_file(root_.host("/flash/nvram")).find("restore_defaults=1"), std::string::npos);

    // A press the driver reports as several bytes at once is still one press.
    ASSERT_EQ(write(button, "\1\1\1", 3), 3);
    ASSERT_TRUE(wait_until([&] { return count_lines(ops()) >= 8; }, 20000));
    ASSERT_EQ(write(button, "\1", 1), 1);
    ASSERT_TRUE(wait_until([&] { return count_lines(ops()) >= 12; }, 20000));
    EXPECT_EQ(ops(), std::string(kOneRestore) + kOneRestore + kOneRestore);
    EXPECT_EQ(all_nvram(), before + "restore_defaults=1\n");
    close(button);
}

TEST_F(ResetbtnProgram, RunsOnWithoutTheDeviceAsleep) {
    start();
    EXPECT_TRUE(runs_on());
    EXPECT_TRUE(idle(pid_));
    EXPECT_EQ(ops(), "");
    EXPECT_EQ(nvram_get("restore_defaults"), nullptr);
}

TEST_F(ResetbtnProgram, DeviceReadableWithNothingToReadIsSaidOnceAndLeft) {
    mkdir(root_.host("/dev/gpio").c_str(), 0755);
    write_file(root_.host("/dev/gpio/in"), "");  // a plain file: always readable, always empty
    start();
    ASSERT_TRUE(wait_until([&] { return !read_file(root_.host("/dev/console")).empty(); }, 20000));
    EXPECT_TRUE(runs_on());
    EXPECT_TRUE(idle(pid_));
    EXPECT_EQ(read_file(root_.host("/dev/console")),
              "resetbtn: /dev/gpio/in readable with nothing to read (end of file); no longer "
              "watched\n");
    EXPECT_EQ(ops(), "");
    EXPECT_EQ(nvram_get("restore_defaults"), nullptr);
}

TEST_F(ResetbtnProgram, DebugOptionRuns) {
    start({"-d"});
    EXPECT_TRUE(runs_on());
}

TEST(ResetbtnUsage, OtherOptionOrOperandPrintsOkAndEnds) {
    TempRouterRoot root;
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{"-x"}, std::vector<std::string>{"now"}}) {
        RunResult r = run_program("resetbtn", args);
        EXPECT_EQ(r.exit_code(), 1) << args[0];
        EXPECT_EQ(r.out, "ok") << args[0];
    }
}

}  // namespace
