// The time and process seam: the real operations, and the fake the other tests run on.
#include "platform/env.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <thread>

#include "platform/env_fake.h"
#include "platform/process.h"
#include "tests/support/testsupport.h"

namespace {

struct Pipe {
    int r = -1, w = -1;
    Pipe() {
        int p[2];
        if (pipe2(p, O_CLOEXEC) == 0) {
            r = p[0];
            w = p[1];
        }
    }
    ~Pipe() {
        close_r();
        close_w();
    }
    void close_r() {
        if (r >= 0) close(r);
        r = -1;
    }
    void close_w() {
        if (w >= 0) close(w);
        w = -1;
    }
    std::string drain() {
        std::string out;
        char buf[256];
        ssize_t n;
        while ((n = read(r, buf, sizeof buf)) > 0)
            out.append(buf, static_cast<size_t>(n));
        return out;
    }
};

struct Condition {
    pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
    pthread_cond_t cond;
    bool flag = false;
    Condition() {
        pthread_condattr_t attr;
        pthread_condattr_init(&attr);
        pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
        pthread_cond_init(&cond, &attr);
        pthread_condattr_destroy(&attr);
    }
    ~Condition() {
        pthread_cond_destroy(&cond);
        pthread_mutex_destroy(&mutex);
    }
    void set() {
        pthread_mutex_lock(&mutex);
        flag = true;
        pthread_cond_signal(&cond);
        pthread_mutex_unlock(&mutex);
    }
    // The transaction pattern: wait for the flag until the deadline. 0 or ETIMEDOUT.
    int wait_until(unsigned long deadline) {
        pthread_mutex_lock(&mutex);
        int rc = 0;
        while (!flag && rc != ETIMEDOUT)
            rc = env_cond_wait_until(&cond, &mutex, deadline);
        int result = flag ? 0 : ETIMEDOUT;
        pthread_mutex_unlock(&mutex);
        return result;
    }
};

TEST(RealEnv, WaitforReportsReadableTimeoutAndError) {
    Pipe p;
    EXPECT_EQ(0, waitfor(p.r, 0));
    ASSERT_EQ(1, write(p.w, "x", 1));
    EXPECT_GT(waitfor(p.r, 1), 0);
    EXPECT_LT(waitfor(-1, 0), 0);
    int closed = dup(p.r);
    close(closed);
    EXPECT_LT(waitfor(closed, 0), 0);
    EXPECT_EQ(EBADF, errno);
}

TEST(RealEnv, SpawnHandsTheChildItsStandardDescriptors) {
    Pipe in, out, err;
    char sh[] = "sh", c[] = "-c", script[] = "read x; echo \"got $x\"; echo oops >&2; exit 3";
    char *argv[] = {sh, c, script, nullptr};
    ASSERT_EQ(5, write(in.w, "line\n", 5));
    in.close_w();
    const int stdio[3] = {in.r, out.w, err.w};
    int status = env_spawn("/bin/sh", argv, stdio, nullptr);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(3, WEXITSTATUS(status));
    out.close_w();
    err.close_w();
    EXPECT_EQ("got line\n", out.drain());
    EXPECT_EQ("oops\n", err.drain());
}

// Descriptors given in another order than 0, 1, 2 (here: standard output and error swapped)
// reach the child as given, none overwritten before it was moved.
TEST(RealEnv, SpawnMovesLowDescriptorsWithoutLosingOne) {
    Pipe out, err;
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        // In a child of the test, so that the test's own descriptors stay as they are.
        dup2(err.w, 1);
        dup2(out.w, 2);
        char sh[] = "sh", c[] = "-c", script[] = "echo to-out; echo to-err >&2";
        char *argv[] = {sh, c, script, nullptr};
        const int stdio[3] = {-1, 2, 1};
        int status = env_spawn("/bin/sh", argv, stdio, nullptr);
        _exit(status == 0 ? 0 : 1);
    }
    int status = -1;
    ASSERT_EQ(pid, waitpid(pid, &status, 0));
    EXPECT_EQ(0, status);
    out.close_w();
    err.close_w();
    EXPECT_EQ("to-out\n", out.drain());
    EXPECT_EQ("to-err\n", err.drain());
}

TEST(RealEnv, SpawnThatCannotExecSaysWhyOnTheChildsErrorAndEnds99) {
    Pipe err;
    char name[] = "missing";
    char *argv[] = {name, nullptr};
    const int stdio[3] = {-1, -1, err.w};
    int status = env_spawn("/nonexistent/missing", argv, stdio, nullptr);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(99, WEXITSTATUS(status));
    err.close_w();
    EXPECT_EQ("could not exec /nonexistent/missing: No such file or directory\n", err.drain());
}

TEST(RealEnv, ConditionWaitEndsAtTheDeadlineOrWhenSignalled) {
    Condition c;
    EXPECT_EQ(ETIMEDOUT, c.wait_until(env_now_ms() - 1));
    unsigned long start = env_now_ms();
    EXPECT_EQ(ETIMEDOUT, c.wait_until(start + 200));
    EXPECT_GE(env_ms_until(env_now_ms(), start), 200);
    std::thread t([&] { c.set(); });
    EXPECT_EQ(0, c.wait_until(env_now_ms() + 600000));
    t.join();
}

class Fake : public ::testing::Test {
  protected:
    FakeEnv env_;
};

TEST_F(Fake, IsInstalledForItsLifetime) {
    EXPECT_NE(&env_real_ops, env_current());
    EXPECT_EQ(FakeEnv::kStartMs, env_now_ms());
}

TEST(FakeLifetime, TheRealTableComesBackAfterIt) {
    { FakeEnv env; }
    EXPECT_EQ(&env_real_ops, env_current());
}

TEST_F(Fake, SleepingMovesTheClockWithoutWaiting) {
    env_sleep(60);
    env_sleep_ms(250);
    EXPECT_EQ(FakeEnv::kStartMs + 60250, env_now_ms());
}

TEST_F(Fake, AWaitInVainMovesTheClockByTheWholeWait) {
    Pipe p;
    EXPECT_EQ(0, waitfor(p.r, 2));
    EXPECT_EQ(FakeEnv::kStartMs + 2000, env_now_ms());
    ASSERT_EQ(1, write(p.w, "x", 1));
    EXPECT_EQ(1, waitfor(p.r, 2));
    EXPECT_EQ(FakeEnv::kStartMs + 2000, env_now_ms());  // readable: no time passed
    EXPECT_LT(waitfor(-1, 2), 0);
}

TEST_F(Fake, TheWaitHookRunsFirstAndCanAnswer) {
    Pipe p;
    int calls = 0;
    env_.on_wait = [&](int fd, int seconds) {
        ++calls;
        EXPECT_EQ(p.r, fd);
        EXPECT_EQ(4, seconds);
        ASSERT_EQ(1, write(p.w, "y", 1));
    };
    EXPECT_EQ(1, waitfor(p.r, 4));
    EXPECT_EQ(1, calls);
    EXPECT_EQ(FakeEnv::kStartMs, env_now_ms());
}

TEST_F(Fake, CommandsAreRecordedAndAnsweredByTheHook) {
    char echo[] = "echo", hi[] = "hi";
    char *argv[] = {echo, hi, nullptr};
    env_.on_run = [](const std::vector<std::string> &words, const int *stdio) {
        EXPECT_EQ(2u, words.size());
        return stdio ? 7 << 8 : 0;
    };
    EXPECT_EQ(0, _eval(argv, nullptr, 0, nullptr));
    const int stdio[3] = {0, 1, 2};
    EXPECT_EQ(7 << 8, env_spawn("/bin/echo", argv, stdio, nullptr));
    EXPECT_EQ((std::vector<std::string>{"_eval echo hi", "spawn /bin/echo echo hi"}),
              env_.commands());
}

TEST_F(Fake, RebootWaitReturnsAndIsCountedAndUptimeIsSet) {
    env_.uptime = 77;
    EXPECT_EQ(77u, env_uptime());
    env_reboot_wait();
    env_reboot_wait();
    EXPECT_EQ(2, env_.reboot_waits());
}

TEST_F(Fake, SignalInitIsRecordedAndNeverReachesTheHostsInit) {
    testsupport::TempRouterRoot root;  // no init pid written: nothing is sent
    EXPECT_EQ(-1, signal_init(SIGTERM));
    EXPECT_EQ(std::vector<int>{SIGTERM}, env_.signals());
}

// One wait, woken when the clock moves: short of the deadline it reports a wake-up (the
// caller looks again), at the deadline a time-out.
TEST_F(Fake, ConditionWaitTimesOutOnlyWhenTheFakeClockReachesTheDeadline) {
    for (unsigned long step : {9999ul, 10000ul}) {
        Condition c;
        unsigned long deadline = env_now_ms() + 10000;
        int result = -1;
        std::thread waiter([&] {
            pthread_mutex_lock(&c.mutex);
            result = env_cond_wait_until(&c.cond, &c.mutex, deadline);
            pthread_mutex_unlock(&c.mutex);
        });
        ASSERT_TRUE(env_.wait_for_cond_waiter(60000));
        env_.advance(step);
        waiter.join();
        EXPECT_EQ(step == 10000 ? ETIMEDOUT : 0, result) << step;
    }
}

TEST_F(Fake, ConditionWaitIsWokenBySignalWithoutTimePassing) {
    Condition c;
    int result = -1;
    std::thread waiter([&] { result = c.wait_until(env_now_ms() + 1000); });
    ASSERT_TRUE(env_.wait_for_cond_waiter(60000));
    c.set();
    waiter.join();
    EXPECT_EQ(0, result);
    EXPECT_EQ(FakeEnv::kStartMs, env_now_ms());
}

TEST_F(Fake, ConditionWaitPastItsDeadlineReturnsAtOnce) {
    Condition c;
    EXPECT_EQ(ETIMEDOUT, c.wait_until(env_now_ms()));
}

}  // namespace
