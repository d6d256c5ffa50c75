// The one seam through which every program reaches time and the process world: the monotonic
// clock, sleeping, the wait for a descriptor, the uptime, running commands, signalling init,
// the wait for a reboot, and timed waits on a condition variable. Nothing else in the tree
// calls sleep(), clock_gettime(), fork() or pthread_cond_timedwait() directly: it asks here,
// and a test installs a fake (platform/env_fake.h) with a clock it controls.
//
// env_install() is called before any thread that uses the seam starts (in main, or in a
// test's set-up); after that the table is only read, from any thread. The real operations
// are safe from any thread; _eval and env_spawn fork, so they are also safe in a threaded
// daemon.
#pragma once

#include <pthread.h>
#include <sys/types.h>

#include <cstdint>

struct env_ops {
    // Monotonic milliseconds (wraps on a 32-bit board: compare by signed difference).
    unsigned long (*now_ms)(void);
    void (*sleep_ms)(unsigned long ms);
    // As waitfor() below.
    int (*waitfor)(int fd, int seconds);
    // Whole seconds since boot.
    uint32_t (*uptime)(void);
    // As _eval() and signal_init() (platform/process.h), and env_spawn() below.
    int (*eval)(char *const argv[], const char *redirect, int timeout, pid_t *ppid);
    int (*spawn)(const char *path, char *const argv[], const int stdio[3], pid_t *ppid);
    int (*signal_init)(int sig);
    // After the reboot signal: never returns on the board.
    void (*reboot_wait)(void);
    // As env_cond_wait_until() below.
    int (*cond_wait_until)(pthread_cond_t *cond, pthread_mutex_t *mutex, unsigned long deadline_ms);
};

// The operations of the running system.
extern const env_ops env_real_ops;

// Makes `ops` the table every call below goes through; nullptr restores the real one. The
// table must outlive its installation.
void env_install(const env_ops *ops);
const env_ops *env_current(void);

unsigned long env_now_ms(void);
void env_sleep(unsigned seconds);
void env_sleep_ms(unsigned long ms);
uint32_t env_uptime(void);
void env_reboot_wait(void);

// Waits up to `seconds` for `fd` to become readable (hang-up and errors count: the next read
// reports them). Above 0: readable; 0: time-out; below 0: error.
[[nodiscard]] int waitfor(int fd, int seconds);

// Runs `path` with `argv` (execv, no PATH search), its standard input, output and error being
// stdio[0], stdio[1] and stdio[2] (any descriptors, 0 to 2 included; -1 leaves that one as
// it is). When the exec fails the
// child writes "could not exec PATH: REASON" on its standard error and ends with status 99.
//   ppid  nullptr: wait, and return the wait status; else: store the pid and return 0.
// Returns -1 when no child could be started.
[[nodiscard]] int env_spawn(const char *path, char *const argv[], const int stdio[3], pid_t *ppid);

// Waits on `cond` (created on CLOCK_MONOTONIC) with `mutex` held, until it is signalled or the
// seam's clock reaches `deadline_ms` (a time of env_now_ms()). 0 when woken (which may be
// spurious: the caller checks its condition again), ETIMEDOUT when the deadline passed.
[[nodiscard]] int env_cond_wait_until(pthread_cond_t *cond, pthread_mutex_t *mutex,
                                      unsigned long deadline_ms);

// Milliseconds from `now` until `when` on the seam's clock, negative when past; safe across
// the wrap of the counter.
inline long env_ms_until(unsigned long when, unsigned long now) {
    return static_cast<long>(when - now);
}
