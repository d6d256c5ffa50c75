// A fake of the seam (platform/env.h) for tests: a clock that moves only when told to or when
// the code under test sleeps or waits in vain, so that time-driven logic runs in milliseconds.
// Test code only.
//
//   now_ms        the fake clock (starts at kStartMs)
//   sleep         advances the clock; never blocks
//   waitfor       calls on_wait (if set), then looks at the descriptor without blocking:
//                 readable gives 1; otherwise the clock advances by the whole wait and 0 comes
//                 back, as a real wait that timed out
//   uptime        `uptime`
//   _eval, spawn  recorded in commands(); on_run (if set) answers in place of a command that
//                 is waited for; otherwise (and for one left running) the real operation runs
//   signal_init   recorded in signals(); the real operation runs (under a router root it never
//                 reaches the host's init)
//   reboot_wait   counted in reboot_waits(); returns at once
//   cond waits    block for real until signalled or until the fake clock, moved by advance()
//                 or a sleep on another thread, passes the deadline
//
// One FakeEnv at a time: the constructor installs it, the destructor restores the real table.
// Set the hooks before the code under test runs. advance(), now_ms() and the condition waits
// may be called from any thread; the hooks run on the thread that waits or runs the command.
#pragma once

#include <pthread.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/env.h"

class FakeEnv {
  public:
    static constexpr unsigned long kStartMs = 5000000;

    FakeEnv();
    ~FakeEnv();
    FakeEnv(const FakeEnv &) = delete;
    FakeEnv &operator=(const FakeEnv &) = delete;

    unsigned long now_ms() const { return now_.load(); }
    // Moves the clock on and wakes the timed condition waits.
    void advance(unsigned long ms);
    // Waits (really, up to `timeout_ms`) until some thread is in a timed condition wait.
    [[nodiscard]] bool wait_for_cond_waiter(int timeout_ms);
    // Waits (really, up to `timeout_ms`) until timed condition waits have begun `count` times
    // in all: a test moves in step with a waiter that wakes and waits again.
    [[nodiscard]] bool wait_for_cond_waits(unsigned count, int timeout_ms);

    // Commands run so far: "_eval ARGV..." or "spawn PATH ARGV...", words joined by spaces.
    std::vector<std::string> commands();
    std::vector<int> signals();
    int reboot_waits() const { return reboot_waits_.load(); }

    std::function<void(int fd, int seconds)> on_wait;
    // Answers a command in place of running it: argv as words, the standard descriptors
    // (nullptr for _eval). Returns the wait status to report.
    std::function<int(const std::vector<std::string> &argv, const int *stdio)> on_run;
    uint32_t uptime = 1000;

  private:
    struct Waiter {
        pthread_cond_t *cond;
        pthread_mutex_t *mutex;
    };
    static const env_ops kOps;
    static unsigned long fake_now_ms();
    static void fake_sleep_ms(unsigned long ms);
    static int fake_waitfor(int fd, int seconds);
    static uint32_t fake_uptime();
    static int fake_eval(char *const argv[], const char *redirect, int timeout, pid_t *ppid);
    static int fake_spawn(const char *path, char *const argv[], const int stdio[3], pid_t *ppid);
    static int fake_signal_init(int sig);
    static void fake_reboot_wait();
    static int fake_cond_wait_until(pthread_cond_t *cond, pthread_mutex_t *mutex,
                                    unsigned long deadline_ms);
    void note(const std::string &line);

    std::atomic<unsigned long> now_{kStartMs};
    std::atomic<int> reboot_waits_{0};
    std::mutex mutex_;  // guards what follows
    std::condition_variable waiter_came_;
    std::vector<Waiter *> waiters_;
    unsigned cond_waits_ = 0;  // timed condition waits begun
    std::vector<std::string> commands_;
    std::vector<int> signals_;
};
