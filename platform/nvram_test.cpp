#include "platform/nvram.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/nvram_area.h"
#include "platform/nvram_testing.h"
#include "tests/support/testsupport.h"

namespace {

using testsupport::read_file;

class Nvram : public ::testing::Test {
  protected:
    void SetUp() override { nvram_testing_forget(); }
    void TearDown() override { nvram_testing_forget(); }

    // Runs `body` in a child process; returns its exit status.
    template <typename F>
    static pid_t fork_child(F body) {
        pid_t pid = fork();
        if (pid == 0) _exit(body());
        return pid;
    }
    static int exit_code(pid_t pid) {
        int status = testsupport::wait_child(pid, 60000);
        return status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    testsupport::TempRouterRoot root_;
};

TEST_F(Nvram, AbsentKeyReadsAsNoneAndSafeGetAsEmpty) {
    EXPECT_EQ(nullptr, nvram_get("never_set"));
    EXPECT_STREQ("", nvram_safe_get("never_set"));
}

TEST_F(Nvram, SetIsVisibleAtOnceToOtherProcesses) {
    ASSERT_EQ(0, nvram_set("lan_ipaddr", "192.168.1.1"));
    pid_t child = fork_child([] {
        const char *v = nvram_get("lan_ipaddr");
        if (!v || std::string(v) != "192.168.1.1") return 1;
        return nvram_set("wan0_status", "connected") == 0 ? 0 : 2;
    });
    ASSERT_EQ(0, exit_code(child));
    EXPECT_STREQ("connected", nvram_get("wan0_status"));
}

TEST_F(Nvram, ValueStaysValidUntilTheKeyChanges) {
    ASSERT_EQ(0, nvram_set("a", "one"));
    ASSERT_EQ(0, nvram_set("b", "two"));
    const char *a = nvram_get("a");
    const char *b = nvram_get("b");
    EXPECT_STREQ("one", a);  // two reads do not overwrite each other
    EXPECT_STREQ("two", b);
    EXPECT_EQ(a, nvram_get("a"));
}

TEST_F(Nvram, EveryKeyReadKeepsItsOwnValueAsItGrowsAndShrinks) {
    constexpr int kKeys = 1000;  // several keys to a bucket of the kept values
    std::vector<const char *> kept;
    for (int i = 0; i < kKeys; ++i) {
        std::string name = "k" + std::to_string(i);
        ASSERT_EQ(0, nvram_set(name.c_str(), std::to_string(i * 7).c_str()));
        kept.push_back(nvram_get(name.c_str()));
    }
    for (int i = 0; i < kKeys; ++i)
        ASSERT_STREQ(std::to_string(i * 7).c_str(), kept[i]) << "k" << i;
    std::string longer(3000, 'L');
    ASSERT_EQ(0, nvram_set("k5", longer.c_str()));
    EXPECT_EQ(longer, nvram_get("k5"));
    ASSERT_EQ(0, nvram_set("k5", "s"));
    EXPECT_STREQ("s", nvram_get("k5"));
    ASSERT_EQ(0, nvram_unset("k5"));
    EXPECT_EQ(nullptr, nvram_get("k5"));
    EXPECT_STREQ("42", nvram_get("k6"));
}

TEST_F(Nvram, UnreachableWorkingStoreSaysWhyOnceAndEveryCallFails) {
    ASSERT_EQ(0, mkdir(root_.host("/tmp/nvram").c_str(), 0755));
    ASSERT_EQ(0, mkdir(root_.host("/tmp/nvram/working").c_str(), 0755));  // not a file
    EXPECT_EQ(nullptr, nvram_get("lan_ipaddr"));
    EXPECT_EQ(-EIO, nvram_set("lan_ipaddr", "192.168.1.1"));
    EXPECT_EQ(-EIO, nvram_commit());
    EXPECT_EQ("nvram: working store " + root_.host("/tmp/nvram/working") + ": Is a directory\n",
              read_file(root_.host("/dev/console")));
}

TEST_F(Nvram, UnsetRemovesAndBadNamesAreRefused) {
    ASSERT_EQ(0, nvram_set("k", "v"));
    ASSERT_EQ(0, nvram_unset("k"));
    EXPECT_EQ(nullptr, nvram_get("k"));
    EXPECT_EQ(0, nvram_unset("k"));
    EXPECT_EQ(-EINVAL, nvram_set("", "v"));
    EXPECT_EQ(-EINVAL, nvram_set("a=b", "v"));
}

TEST_F(Nvram, EightWritersLoseNoUpdate) {
    constexpr int kWriters = 8, kKeys = 500;
    pid_t kids[kWriters];
    for (int w = 0; w < kWriters; ++w) {
        kids[w] = fork_child([w] {
            for (int k = 0; k < kKeys; ++k) {
                std::string name = std::to_string(w) + "." + std::to_string(k);
                if (nvram_set(name.c_str(), std::to_string(k).c_str()) != 0) return 1;
            }
            return 0;
        });
    }
    for (pid_t kid : kids)
        EXPECT_EQ(0, exit_code(kid));
    int missing = 0;
    for (int w = 0; w < kWriters; ++w) {
        for (int k = 0; k < kKeys; ++k) {
            const char *v = nvram_get((std::to_string(w) + "." + std::to_string(k)).c_str());
            if (!v || std::to_string(k) != v) ++missing;
        }
    }
    EXPECT_EQ(0, missing);
}

TEST_F(Nvram, SetBeyondCapacityFailsAndChangesNothing) {
    std::string chunk(1000, 'x');
    int rc = 0, stored = 0;
    while (stored < 100 &&
           (rc = nvram_set(("big" + std::to_string(stored)).c_str(), chunk.c_str())) == 0)
        ++stored;
    EXPECT_EQ(-ENOSPC, rc);
    EXPECT_EQ(65, stored);  // 65 x 1006 bytes fit in 64 KiB, a 66th does not
    size_t used = 0, cap = 0;
    ASSERT_EQ(0, nvram_usage(&used, &cap));
    EXPECT_EQ(65536u, cap);
    EXPECT_EQ(nullptr, nvram_get(("big" + std::to_string(stored)).c_str()));
    EXPECT_EQ(-ENOSPC, nvram_set("big0", (chunk + chunk).c_str()));  // growing a value
    EXPECT_EQ(chunk, nvram_get("big0"));
    size_t after = 0;
    ASSERT_EQ(0, nvram_usage(&after, &cap));
    EXPECT_EQ(used, after);
    EXPECT_EQ(0, nvram_set("big0", "small"));  // shrinking always fits
}

TEST_F(Nvram, FirstUseAfterBootLoadsTheCommittedStore) {
    ASSERT_EQ(0, nvram_set("kept", "yes"));
    ASSERT_EQ(0, nvram_commit());
    ASSERT_EQ(0, nvram_set("lost", "not committed"));
    // Reboot: the working store lives in RAM and is gone.
    nvram_testing_forget();
    ASSERT_EQ(0, std::remove(root_.host("/tmp/nvram/working").c_str()));
    EXPECT_STREQ("yes", nvram_get("kept"));
    EXPECT_EQ(nullptr, nvram_get("lost"));
}

TEST_F(Nvram, DamagedCommittedStoreStartsEmptyAndSaysSo) {
    mkdir(root_.host("/flash").c_str(), 0755);
    testsupport::write_file(root_.host("/flash/nvram"), "NVC1 this is not a store");
    EXPECT_EQ(nullptr, nvram_get("anything"));
    EXPECT_NE(std::string::npos, read_file(root_.host("/dev/console")).find("damaged"));
    EXPECT_EQ(0, nvram_set("fresh", "1"));  // the store still works
    EXPECT_STREQ("1", nvram_get("fresh"));
}

// Each writer is killed at a random instant after it reports its first completed commit, so
// the property holds however slow the host is: every round has something committed to lose.
TEST_F(Nvram, WriterKilledDuringCommitsLeavesALoadableStore) {
    std::string filler(400, 'f');
    for (int i = 0; i < 60; ++i)
        ASSERT_EQ(0, nvram_set(("fill" + std::to_string(i)).c_str(), filler.c_str()));
    ASSERT_EQ(0, nvram_commit());
    const std::string committed = root_.host("/flash/nvram");
    const unsigned seed = static_cast<unsigned>(time(nullptr));
    std::mt19937 random(seed);
    constexpr int kRounds = 20;
    for (int round = 0; round < kRounds; ++round) {
        int report[2];
        ASSERT_EQ(0, pipe(report));
        pid_t writer = fork_child([round, &report] {
            close(report[0]);
            for (int i = 0;; ++i) {
                if (nvram_set("gen", std::to_string(round * 100000 + i).c_str()) != 0) return 1;
                if (nvram_commit() != 0) return 2;
                if (report[1] >= 0) {
                    if (write(report[1], "c", 1) != 1) return 3;
                    close(report[1]);
                    report[1] = -1;
                }
            }
            return 0;
        });
        close(report[1]);
        pollfd committed_once = {report[0], POLLIN, 0};
        ASSERT_EQ(1, poll(&committed_once, 1, 60000)) << "round " << round;
        char byte = 0;
        ASSERT_EQ(1, read(report[0], &byte, 1)) << "writer failed before its first commit";
        close(report[0]);
        usleep(std::uniform_int_distribution<unsigned>(0, 20000)(random));
        kill(writer, SIGKILL);
        int status = testsupport::wait_child(writer, 60000);
        ASSERT_TRUE(WIFSIGNALED(status)) << "writer stopped on its own, status " << status;

        std::string image = read_file(committed);
        auto area = std::make_unique<NvramArea>();
        ASSERT_EQ(0, nvram_image_decode(reinterpret_cast<const uint8_t *>(image.data()),
                                        image.size(), *area))
            << "round " << round << ", seed " << seed;
        ASSERT_NE(nullptr, nvram_get("fill59")) << "working store damaged in round " << round;
    }
    nvram_testing_forget();
    ASSERT_EQ(0, std::remove(root_.host("/tmp/nvram/working").c_str()));
    EXPECT_NE(nullptr, nvram_get("fill0"));
    // The last writer completed a commit before it was killed: the store holds its generation.
    const char *gen = nvram_get("gen");
    ASSERT_NE(nullptr, gen);
    EXPECT_GE(std::atoi(gen), (kRounds - 1) * 100000) << "seed " << seed;
    EXPECT_EQ(std::string::npos, read_file(root_.host("/dev/console")).find("damaged"));
}

}  // namespace
