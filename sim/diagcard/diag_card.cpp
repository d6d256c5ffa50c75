#include "sim/diagcard/diag_card.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "sim/diagcard/card_answer.h"

namespace {

long long now_ms() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000LL + ts.tv_nsec / 1000000;
}

class Lock {
  public:
    explicit Lock(pthread_mutex_t *m) : m_(m) { pthread_mutex_lock(m_); }
    ~Lock() { pthread_mutex_unlock(m_); }

  private:
    pthread_mutex_t *m_;
};

}  // namespace

DiagCard::DiagCard() {
    pthread_mutex_init(&mutex_, nullptr);
    wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

DiagCard::~DiagCard() {
    pull();
    if (wake_ >= 0) close(wake_);
    pthread_mutex_destroy(&mutex_);
}

bool DiagCard::open() {
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) < 0 || unlockpt(master) < 0) {
        if (master >= 0) close(master);
        return false;
    }
    const char *name = ptsname(master);
    int slave = name ? ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC) : -1;
    termios tio;
    if (slave < 0 || tcgetattr(slave, &tio) < 0) {
        if (slave >= 0) close(slave);
        close(master);
        return false;
    }
    cfmakeraw(&tio);
    tcsetattr(slave, TCSANOW, &tio);
    Lock lock(&mutex_);
    slave_path_ = name;
    master_ = master;
    held_slave_ = slave;
    return true;
}

bool DiagCard::control(const std::string &line, std::string *error) {
    Lock lock(&mutex_);
    CardAction action;
    if (!card_control(config_, line, &action, error)) return false;
    if (action.kind == CardAction::kSendBytes) write_port(action.bytes);
    if (action.kind == CardAction::kPull) {
        // Closed by the serving thread: a descriptor that thread is polling stays open until
        // its poll() returns.
        pull_pending_ = true;
        wake();
    }
    return true;
}

void DiagCard::stop() {
    Lock lock(&mutex_);
    stopping_ = true;
    wake();
}

void DiagCard::wake() {
    uint64_t one = 1;
    ssize_t n = write(wake_, &one, sizeof one);
    (void)n;
}

std::vector<std::string> DiagCard::received() {
    Lock lock(&mutex_);
    return received_;
}

void DiagCard::run(int control_fd, int reply_fd) {
    std::string control_text;
    for (;;) {
        pollfd fds[3];
        int n = 0, port_at = -1, control_at = -1;
        {
            Lock lock(&mutex_);
            if (stopping_) return;
            if (pull_pending_) {
                pull();
                pull_pending_ = false;
            }
            fds[n++] = {wake_, POLLIN, 0};
            if (master_ >= 0) {
                port_at = n;
                fds[n++] = {master_, POLLIN, 0};
            }
        }
        if (control_fd >= 0) {
            control_at = n;
            fds[n++] = {control_fd, POLLIN, 0};
        }
        int timeout;
        {
            Lock lock(&mutex_);
            timeout = next_timeout(now_ms());
        }
        if (poll(fds, static_cast<nfds_t>(n), timeout) < 0 && errno != EINTR) return;
        if (fds[0].revents) {
            uint64_t count;
            ssize_t drained = read(wake_, &count, sizeof count);
            (void)drained;
        }
        // Control lines first: a line written before a request reaches the card applies to it.
        if (control_at >= 0 && fds[control_at].revents) {
            char buf[1024];
            ssize_t got = read(control_fd, buf, sizeof buf);
            if (got <= 0) {
                control_fd = -1;  // no more control lines; the card serves on
            } else {
                control_text.append(buf, static_cast<size_t>(got));
                size_t eol;
                while ((eol = control_text.find('\n')) != std::string::npos) {
                    std::string line = control_text.substr(0, eol), error;
                    control_text.erase(0, eol + 1);
                    std::string reply = control(line, &error) ? "ok\n" : "error: " + error + "\n";
                    if (reply_fd >= 0 && write(reply_fd, reply.data(), reply.size()) < 0)
                        reply_fd = -1;
                }
            }
        }
        Lock lock(&mutex_);
        if (port_at >= 0 && fds[port_at].revents && master_ >= 0) read_port();
        write_due(now_ms());
    }
}

void DiagCard::read_port() {
    uint8_t buf[4096];
    ssize_t got = read(master_, buf, sizeof buf);
    if (got <= 0) return;
    if (capture_) capture_->to_card(buf, static_cast<size_t>(got));
    rx_.feed(buf, static_cast<size_t>(got), on_frame, this);
}

void DiagCard::on_frame(void *self, const uint8_t *packet, size_t len, bool good) {
    DiagCard *card = static_cast<DiagCard *>(self);
    std::string line = (good ? "rx " : "rx-bad ") + card_hex(packet, len);
    card->received_.push_back(line);
    if (card->record_fd_ >= 0) {
        line += '\n';
        if (write(card->record_fd_, line.data(), line.size()) < 0) card->record_fd_ = -1;
    }
    if (!good) return;
    long long now = now_ms();
    for (CardWrite &w : card_plan(card->config_, packet, len))
        card->pending_.push_back({now + w.delay_ms, std::move(w.bytes)});
    std::stable_sort(card->pending_.begin(), card->pending_.end(),
                     [](const Pending &a, const Pending &b) { return a.due_ms < b.due_ms; });
}

void DiagCard::write_due(long long now) {
    size_t done = 0;
    while (done < pending_.size() && pending_[done].due_ms <= now)
        write_port(pending_[done++].bytes);
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(done));
}

int DiagCard::next_timeout(long long now) {
    if (pending_.empty()) return -1;
    long long wait = pending_.front().due_ms - now;
    return wait < 0 ? 0 : static_cast<int>(wait);
}

void DiagCard::write_port(const std::vector<uint8_t> &bytes) {
    if (master_ < 0 || bytes.empty()) return;
    ssize_t n = write(master_, bytes.data(), bytes.size());
    // A card pulled out meanwhile loses its answer.
    if (n > 0 && capture_) capture_->from_card(bytes.data(), static_cast<size_t>(n));
}

void DiagCard::pull() {
    if (master_ >= 0) close(master_);
    if (held_slave_ >= 0) close(held_slave_);
    master_ = held_slave_ = -1;
    pending_.clear();
}
