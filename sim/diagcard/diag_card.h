// The simulated card on a pseudo-terminal: decodes the frames written to it (a frame whose
// check fails is recorded and not answered, as a card would), records them, and answers as
// its configuration says. Used by the diagcard program and, run on a thread, by in-process
// tests. control(), received() and stop() may be called from any thread while run() serves.
#pragma once

#include <pthread.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sim/card_capture.h"
#include "sim/diagcard/card_config.h"
#include "sim/diagcard/card_frames.h"

class DiagCard {
  public:
    DiagCard();
    ~DiagCard();
    DiagCard(const DiagCard &) = delete;
    DiagCard &operator=(const DiagCard &) = delete;

    // Creates the pseudo-terminal (raw) and holds its slave side open, so the line keeps its
    // settings between users. False when it cannot.
    bool open();
    const std::string &slave_path() const { return slave_path_; }

    // Received frames are also appended to this descriptor, one line each.
    void set_record_fd(int fd) { record_fd_ = fd; }
    // What the card reads and writes also goes to `c` (not owned; set before run()).
    void set_capture(CardCapture *c) { capture_ = c; }

    // Applies one control line (see README.md). False with the reason in *error.
    bool control(const std::string &line, std::string *error);

    // Serves the port until stop(). With control_fd >= 0 it also reads control lines from it
    // (until end of file), answering each with "ok" or "error: ..." on reply_fd when >= 0.
    void run(int control_fd, int reply_fd);
    void stop();

    // "rx HEX" for each good frame, "rx-bad HEX" for each frame that failed its check.
    std::vector<std::string> received();

  private:
    struct Pending {
        long long due_ms;
        std::vector<uint8_t> bytes;
    };
    static void on_frame(void *self, const uint8_t *packet, size_t len, bool good);
    void read_port();
    void write_due(long long now_ms);
    int next_timeout(long long now_ms);
    void pull();
    void wake();
    void write_port(const std::vector<uint8_t> &bytes);

    pthread_mutex_t mutex_;  // everything below
    CardConfig config_;
    int master_ = -1;
    int held_slave_ = -1;
    int wake_ = -1;
    int record_fd_ = -1;
    CardCapture *capture_ = nullptr;
    bool stopping_ = false;
    bool pull_pending_ = false;
    std::string slave_path_;
    CardDeframer rx_;
    std::vector<Pending> pending_;
    std::vector<std::string> received_;
};
