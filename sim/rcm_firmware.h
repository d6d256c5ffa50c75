// The management server's firmware serving: the upgrade command for an image file, a fragment
// reply to every fragment request, misbehaviour on command, and progress for a person (one
// line updated in place, a summary at the end) or JSON lines. Test equipment; one thread.
//
// Fragment reply (server to agent): the request's seq, oid 6, kind 3, magic 0x002B,
// payloadlen 4 + data; payload: the index (2 bytes), two zero bytes, the 1024-byte share of
// the image (the rest for the last fragment).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class FirmwareServer {
  public:
    using Send = std::function<void(const uint8_t *buf, size_t len)>;
    FirmwareServer(Send send, bool json) : send_(std::move(send)), json_(json) {}

    // Loads an image; count and total come from it unless given (count < 0: from the file).
    // Returns false with a message when the file cannot be read.
    bool load(const std::string &path, long count, long total, std::string *why);
    // The upgrade command's payload for the loaded image (8 bytes).
    std::vector<uint8_t> command_payload() const;

    // Takes a datagram from the agent; true when it was a fragment request (answered, or not,
    // as the faults say).
    bool take(const uint8_t *buf, size_t len, const uint8_t session_id[8]);

    // "fault KIND INDEX" or "fault KIND next N": drop, dup, reorder, corrupt, short, offset,
    // overlong. Returns false on a malformed command.
    bool add_fault(const std::string &args);
    void stall(bool on) { stalled_ = on; }
    // Prints the summary line (also done when every fragment has been served).
    void summary();

  private:
    struct Fault {
        std::string kind;
        long index;  // >= 0: that fragment once; -1: the next `count` replies
        long count;
    };
    std::string pick_fault(uint16_t index);
    void reply(const uint8_t *request, uint16_t index, const uint8_t session_id[8]);
    void sent(const std::vector<uint8_t> &reply);  // sends and counts a reply
    void progress(bool force);

    Send send_;
    bool json_;
    std::vector<uint8_t> image_;
    uint32_t count_ = 0, total_ = 0;
    std::vector<bool> served_, requested_;
    uint32_t served_count_ = 0, repeats_ = 0;
    uint64_t bytes_ = 0;
    uint64_t start_ns_ = 0, last_print_ns_ = 0;
    bool stalled_ = false, done_ = false;
    std::vector<Fault> faults_;
    std::vector<uint8_t> held_;  // a reply held back to be sent after the next one
};
