#include "sim/cardsim/cardsim_thread.h"

#include <fcntl.h>
#include <poll.h>
#include <time.h>
#include <unistd.h>

namespace cardsim {

CardSimThread::CardSimThread(Family family) : sim_(family) {
    std::string error;
    ok_ = sim_.open_pty(&error) && pipe2(wake_, O_CLOEXEC | O_NONBLOCK) == 0;
    slave_ = sim_.slave_path();
    if (ok_) thread_ = std::thread([this] { loop(); });
}

CardSimThread::~CardSimThread() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    if (wake_[1] >= 0 && write(wake_[1], "x", 1) < 0) {
        // The loop also wakes within its poll limit.
    }
    if (thread_.joinable()) thread_.join();
    for (int fd : wake_)
        if (fd >= 0) close(fd);
}

void CardSimThread::loop() {
    for (;;) {
        int master, wait_ms;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stop_) return;
            master = sim_.master_fd();
            wait_ms = sim_.next_due_ms();
        }
        // The master may be closed by a vanish between here and poll(): then it reports
        // POLLNVAL and the next round sees it gone.
        pollfd p[2] = {{wake_[0], POLLIN, 0}, {master, POLLIN, 0}};
        if (wait_ms < 0 || wait_ms > 500) wait_ms = 500;
        poll(p, master >= 0 ? 2 : 1, wait_ms);
        std::lock_guard<std::mutex> lock(mutex_);
        if (stop_) return;
        if (p[0].revents) {
            char buf[16];
            while (read(wake_[0], buf, sizeof buf) > 0) {
            }
        }
        if (master >= 0 && master == sim_.master_fd() && (p[1].revents & POLLIN))
            sim_.on_readable();
        sim_.run_due();
    }
}

std::string CardSimThread::control(const std::string &line) {
    std::string r;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        r = sim_.control(line);
    }
    if (write(wake_[1], "x", 1) < 0) {
        // A full wake pipe already wakes the loop.
    }
    return r;
}

std::vector<std::string> CardSimThread::log() {
    std::lock_guard<std::mutex> lock(mutex_);
    return sim_.log();
}

std::vector<std::string> CardSimThread::log_lines(const std::string &prefix) {
    std::vector<std::string> out;
    for (const std::string &l : log())
        if (l.compare(0, prefix.size(), prefix) == 0) out.push_back(l);
    return out;
}

bool CardSimThread::wait_log(const std::string &prefix, size_t count, int timeout_ms) {
    for (int waited = 0;; waited += 5) {
        if (log_lines(prefix).size() >= count) return true;
        if (waited >= timeout_ms) return false;
        usleep(5000);
    }
}

}  // namespace cardsim
