#include "platform/env.h"

#include <poll.h>
#include <sys/sysinfo.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>

#include "platform/process.h"

namespace {

unsigned long real_now_ms() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<unsigned long>(ts.tv_sec) * 1000ul +
           static_cast<unsigned long>(ts.tv_nsec / 1000000);
}

void real_sleep_ms(unsigned long ms) {
    timespec left = {static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000};
    while (nanosleep(&left, &left) < 0 && errno == EINTR) {
    }
}

int real_waitfor(int fd, int seconds) {
    if (fd < 0) {
        errno = EBADF;
        return -1;
    }
    unsigned long deadline =
        real_now_ms() + static_cast<unsigned long>(seconds < 0 ? 0 : seconds) * 1000ul;
    for (;;) {
        long left = env_ms_until(deadline, real_now_ms());
        pollfd p = {fd, POLLIN | POLLPRI, 0};
        int n = poll(&p, 1, left < 0 ? 0 : static_cast<int>(left));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n;
        if (p.revents & POLLNVAL) {
            errno = EBADF;
            return -1;
        }
        return n;
    }
}

uint32_t real_uptime() {
    struct sysinfo info;
    return sysinfo(&info) == 0 ? static_cast<uint32_t>(info.uptime) : 0;
}

// The router's init ends this process while rebooting; until then there is nothing to do.
void real_reboot_wait() {
    for (;;)
        pause();
}

int real_cond_wait_until(pthread_cond_t *cond, pthread_mutex_t *mutex, unsigned long deadline_ms) {
    // The seam's clock is CLOCK_MONOTONIC in milliseconds: turn the deadline back into a
    // time of that clock, counting from now so that the wrap of the counter does not matter.
    long left = env_ms_until(deadline_ms, real_now_ms());
    if (left <= 0) return ETIMEDOUT;
    timespec at;
    clock_gettime(CLOCK_MONOTONIC, &at);
    at.tv_sec += left / 1000;
    at.tv_nsec += (left % 1000) * 1000000;
    if (at.tv_nsec >= 1000000000) {
        at.tv_sec += 1;
        at.tv_nsec -= 1000000000;
    }
    int rc = pthread_cond_timedwait(cond, mutex, &at);
    return rc == ETIMEDOUT ? ETIMEDOUT : 0;
}

const env_ops *g_env = &env_real_ops;

}  // namespace

const env_ops env_real_ops = {real_now_ms,         real_sleep_ms,    real_waitfor,
                              real_uptime,         process_eval,     process_spawn,
                              process_signal_init, real_reboot_wait, real_cond_wait_until};

void env_install(const env_ops *ops) {
    g_env = ops ? ops : &env_real_ops;
}

const env_ops *env_current(void) {
    return g_env;
}

unsigned long env_now_ms(void) {
    return g_env->now_ms();
}

void env_sleep(unsigned seconds) {
    g_env->sleep_ms(seconds * 1000ul);
}

void env_sleep_ms(unsigned long ms) {
    g_env->sleep_ms(ms);
}

uint32_t env_uptime(void) {
    return g_env->uptime();
}

void env_reboot_wait(void) {
    g_env->reboot_wait();
}

int waitfor(int fd, int seconds) {
    return g_env->waitfor(fd, seconds);
}

int env_spawn(const char *path, char *const argv[], const int stdio[3], pid_t *ppid) {
    return g_env->spawn(path, argv, stdio, ppid);
}

int env_cond_wait_until(pthread_cond_t *cond, pthread_mutex_t *mutex, unsigned long deadline_ms) {
    return g_env->cond_wait_until(cond, mutex, deadline_ms);
}

int _eval(char *const argv[], const char *redirect, int timeout, pid_t *ppid) {
    return g_env->eval(argv, redirect, timeout, ppid);
}

int signal_init(int sig) {
    return g_env->signal_init(sig);
}
