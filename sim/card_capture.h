// The simulated cards' capture of their port (cardsim -w, diagcard -w): what the card reads
// and writes, cut into frames as they passed (common/frame_cut.h), each written as a record of
// a capture file with link type 147 (common/pcap_file.h). Test equipment: the file is flushed
// after every record, so a test may read it while the card runs. Thread-safe.
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

#include "common/frame_cut.h"

class CardCapture {
  public:
    CardCapture() = default;
    ~CardCapture();
    CardCapture(const CardCapture &) = delete;
    CardCapture &operator=(const CardCapture &) = delete;

    // Creates `path` with the file header; `framing` is a PcapCardFraming. False with the
    // reason in *error.
    bool open(const std::string &path, uint8_t framing, std::string *error);

    // What the card read from its port (towards the card) and what it wrote (from the card).
    void to_card(const uint8_t *bytes, size_t len);
    void from_card(const uint8_t *bytes, size_t len);

    // Writes what is held of unfinished frames and closes the file.
    void close();

  private:
    static void write_record(void *ctx, const uint8_t *frame, size_t len);
    void feed(FrameCut *cut, uint8_t dir, const uint8_t *bytes, size_t len);

    std::mutex mutex_;
    FILE *file_ = nullptr;
    uint8_t framing_ = 0;
    uint8_t dir_ = 0;  // the direction of the records being cut
    long long start_ms_ = 0;
    FrameCut to_card_;
    FrameCut from_card_;
};
