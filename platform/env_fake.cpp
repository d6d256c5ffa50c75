#include "platform/env_fake.h"

#include <poll.h>

#include <cerrno>

#include "platform/process.h"

namespace {

FakeEnv *g_fake;

std::vector<std::string> words(char *const argv[]) {
    std::vector<std::string> out;
    for (int i = 0; argv && argv[i]; ++i)
        out.emplace_back(argv[i]);
    return out;
}

std::string joined(const char *first, const std::vector<std::string> &rest) {
    std::string line = first;
    for (const std::string &w : rest)
        line += " " + w;
    return line;
}

}  // namespace

const env_ops FakeEnv::kOps = {fake_now_ms,      fake_sleep_ms,    fake_waitfor,
                               fake_uptime,      fake_eval,        fake_spawn,
                               fake_signal_init, fake_reboot_wait, fake_cond_wait_until};

FakeEnv::FakeEnv() {
    g_fake = this;
    env_install(&kOps);
}

FakeEnv::~FakeEnv() {
    env_install(nullptr);
    g_fake = nullptr;
}

void FakeEnv::advance(unsigned long ms) {
    std::vector<Waiter> wake;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        now_.store(now_.load() + ms);
        for (Waiter *w : waiters_)
            wake.push_back(*w);
    }
    // A waiter registered before the clock moved is inside its wait (or about to enter it
    // with its mutex held): taking the mutex first means the broadcast cannot come too early.
    for (const Waiter &w : wake) {
        pthread_mutex_lock(w.mutex);
        pthread_cond_broadcast(w.cond);
        pthread_mutex_unlock(w.mutex);
    }
}

bool FakeEnv::wait_for_cond_waiter(int timeout_ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    return waiter_came_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                                 [this] { return !waiters_.empty(); });
}

bool FakeEnv::wait_for_cond_waits(unsigned count, int timeout_ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    return waiter_came_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                                 [this, count] { return cond_waits_ >= count; });
}

std::vector<std::string> FakeEnv::commands() {
    std::lock_guard<std::mutex> lock(mutex_);
    return commands_;
}

std::vector<int> FakeEnv::signals() {
    std::lock_guard<std::mutex> lock(mutex_);
    return signals_;
}

void FakeEnv::note(const std::string &line) {
    std::lock_guard<std::mutex> lock(mutex_);
    commands_.push_back(line);
}

unsigned long FakeEnv::fake_now_ms() {
    return g_fake->now_ms();
}

void FakeEnv::fake_sleep_ms(unsigned long ms) {
    g_fake->advance(ms);
}

int FakeEnv::fake_waitfor(int fd, int seconds) {
    if (fd < 0) {
        errno = EBADF;
        return -1;
    }
    if (g_fake->on_wait) g_fake->on_wait(fd, seconds);
    pollfd p = {fd, POLLIN | POLLPRI, 0};
    int n = poll(&p, 1, 0);
    if (n > 0 && (p.revents & POLLNVAL)) {
        errno = EBADF;
        return -1;
    }
    if (n != 0) return n;
    g_fake->advance(static_cast<unsigned long>(seconds < 0 ? 0 : seconds) * 1000ul);
    return 0;
}

uint32_t FakeEnv::fake_uptime() {
    return g_fake->uptime;
}

int FakeEnv::fake_eval(char *const argv[], const char *redirect, int timeout, pid_t *ppid) {
    std::vector<std::string> w = words(argv);
    g_fake->note(joined("_eval", w));
    if (g_fake->on_run && !ppid) return g_fake->on_run(w, nullptr);
    return process_eval(argv, redirect, timeout, ppid);
}

int FakeEnv::fake_spawn(const char *path, char *const argv[], const int stdio[3], pid_t *ppid) {
    std::vector<std::string> w = words(argv);
    g_fake->note(joined((std::string("spawn ") + path).c_str(), w));
    if (g_fake->on_run && !ppid) return g_fake->on_run(w, stdio);
    return process_spawn(path, argv, stdio, ppid);
}

int FakeEnv::fake_signal_init(int sig) {
    {
        std::lock_guard<std::mutex> lock(g_fake->mutex_);
        g_fake->signals_.push_back(sig);
    }
    return process_signal_init(sig);
}

void FakeEnv::fake_reboot_wait() {
    ++g_fake->reboot_waits_;
}

int FakeEnv::fake_cond_wait_until(pthread_cond_t *cond, pthread_mutex_t *mutex,
                                  unsigned long deadline_ms) {
    FakeEnv *f = g_fake;
    Waiter self = {cond, mutex};
    {
        std::lock_guard<std::mutex> lock(f->mutex_);
        if (env_ms_until(deadline_ms, f->now_.load()) <= 0) return ETIMEDOUT;
        f->waiters_.push_back(&self);
        ++f->cond_waits_;
    }
    f->waiter_came_.notify_all();
    pthread_cond_wait(cond, mutex);
    std::lock_guard<std::mutex> lock(f->mutex_);
    for (size_t i = 0; i < f->waiters_.size(); ++i)
        if (f->waiters_[i] == &self) {
            f->waiters_.erase(f->waiters_.begin() + static_cast<long>(i));
            break;
        }
    return env_ms_until(deadline_ms, f->now_.load()) <= 0 ? ETIMEDOUT : 0;
}
