// A PPP peer's end of a serial line, for the simulated host and modem, the tests and the
// benchmarks: channel frames sent and received over a descriptor (usually a pty master) with
// RFC 1662 framing, and the raw bytes kept for the AT dialogue that comes before PPP. Test
// equipment, single-threaded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "common/hdlc.h"

using Frame = std::vector<uint8_t>;

class PppLink {
  public:
    explicit PppLink(int fd) : fd_(fd) {}

    // Frames and writes one channel frame. False when the write fails.
    bool send(const Frame &frame);
    // Writes text as it is (AT commands, noise).
    bool send_text(const std::string &text);

    // The next frame, waiting up to `timeout_ms`; false on time-out or end of data.
    bool receive(Frame *frame, int timeout_ms);
    // Waits until the raw bytes received since the last clear_text() hold `needle`.
    bool wait_text(const std::string &needle, int timeout_ms);
    const std::string &text() const { return text_; }
    void clear_text() { text_.clear(); }

    // One read, waiting up to `timeout_ms`: false on time-out or end of data.
    bool pump(int timeout_ms);
    bool closed() const { return closed_; }
    uint32_t dropped() const { return decoder_.dropped(); }
    int fd() const { return fd_; }

  private:
    static void on_frame(void *self, const uint8_t *frame, size_t len);

    int fd_;
    bool closed_ = false;
    HdlcDecoder decoder_;
    std::deque<Frame> frames_;
    std::string text_;
};

// LCP frames (protocol C0 21): code, identifier, data.
Frame lcp_frame(uint8_t code, uint8_t id, const std::vector<uint8_t> &data = {});
// 0 unless the frame is LCP; then its code.
int lcp_code(const Frame &frame);

// A raw pseudo-terminal pair: the peer holds the master and a copy of the slave, so the line
// keeps its settings and stays up while the program on the slave side closes and reopens it.
struct SimPty {
    int master = -1;
    int slave = -1;
    std::string path;
    bool open();  // false with a message on standard error
};
