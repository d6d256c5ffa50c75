#include "sim/ppp_link.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace {

long now_ms() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000L + ts.tv_nsec / 1000000L;
}

bool write_all(int fd, const uint8_t *p, size_t n) {
    while (n > 0) {
        ssize_t w = write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

}  // namespace

bool PppLink::send(const Frame &frame) {
    std::vector<uint8_t> wire(hdlc_encoded_max(frame.size()));
    size_t n = hdlc_encode(frame.data(), frame.size(), wire.data(), wire.size());
    return n > 0 && write_all(fd_, wire.data(), n);
}

bool PppLink::send_text(const std::string &text) {
    return write_all(fd_, reinterpret_cast<const uint8_t *>(text.data()), text.size());
}

void PppLink::on_frame(void *self, const uint8_t *frame, size_t len) {
    static_cast<PppLink *>(self)->frames_.emplace_back(frame, frame + len);
}

bool PppLink::pump(int timeout_ms) {
    if (closed_) return false;
    pollfd p = {fd_, POLLIN, 0};
    int r = poll(&p, 1, timeout_ms < 0 ? 0 : timeout_ms);
    if (r < 0 && errno == EINTR) return false;
    if (r <= 0) return false;
    uint8_t buf[4096];
    ssize_t n = read(fd_, buf, sizeof buf);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return false;
    if (n <= 0) {
        closed_ = true;
        return false;
    }
    text_.append(reinterpret_cast<char *>(buf), static_cast<size_t>(n));
    if (text_.size() > 65536) text_.erase(0, text_.size() - 65536);
    decoder_.feed(buf, static_cast<size_t>(n), on_frame, this);
    return true;
}

bool PppLink::receive(Frame *frame, int timeout_ms) {
    long deadline = now_ms() + timeout_ms;
    while (frames_.empty()) {
        long left = deadline - now_ms();
        if (left <= 0 || closed_) return false;
        pump(static_cast<int>(left));
    }
    *frame = std::move(frames_.front());
    frames_.pop_front();
    return true;
}

bool PppLink::wait_text(const std::string &needle, int timeout_ms) {
    long deadline = now_ms() + timeout_ms;
    while (text_.find(needle) == std::string::npos) {
        long left = deadline - now_ms();
        if (left <= 0 || closed_) return false;
        pump(static_cast<int>(left));
    }
    return true;
}

Frame lcp_frame(uint8_t code, uint8_t id, const std::vector<uint8_t> &data) {
    size_t len = 4 + data.size();
    Frame f = {0xC0, 0x21, code, id, static_cast<uint8_t>(len >> 8), static_cast<uint8_t>(len)};
    for (uint8_t b : data)
        f.push_back(b);
    return f;
}

int lcp_code(const Frame &frame) {
    if (frame.size() < 6 || frame[0] != 0xC0 || frame[1] != 0x21) return 0;
    return frame[2];
}

bool SimPty::open() {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) < 0 || unlockpt(master) < 0) {
        perror("posix_openpt");
        return false;
    }
    path = ptsname(master);
    slave = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio;
    if (slave < 0 || tcgetattr(slave, &tio) < 0) {
        perror(path.c_str());
        return false;
    }
    cfmakeraw(&tio);
    tcsetattr(slave, TCSANOW, &tio);
    return true;
}
