// The simulated card's side of the wire: framing its packets, reading the frames written to
// it, and the packets it sends on its own (an event report, a log packet).
//
// The card has its own small codec, written apart from the engine's (common/stuffing.h) and
// as plainly as possible, one byte at a time: the tests compare the engine against it, so a
// fault in the engine's framing shows instead of cancelling out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// packet + FCS (low byte first), stuffed, closed with the flag. An empty packet gives the two
// check bytes of nothing and the flag.
std::vector<uint8_t> card_frame(const uint8_t *packet, size_t len);

// The FCS-16 the card computes, bit by bit (complemented, as sent).
uint16_t card_fcs(const uint8_t *data, size_t len);

// Reads the frames written to the card across reads: a frame ends at every unescaped flag
// and goes to the sink, good (packet without check and flag) when its check passes, else as
// received; an escape followed by a flag voids the frame (passed as bad); a lone flag is only
// a separator; more than kMaxFrame bytes without a flag are dropped.
class CardDeframer {
  public:
    typedef void (*Sink)(void *ctx, const uint8_t *packet, size_t len, bool good);
    static constexpr size_t kMaxFrame = 4096;
    void feed(const uint8_t *bytes, size_t len, Sink sink, void *ctx);

  private:
    std::vector<uint8_t> frame_;
    bool escape_ = false;
};

// True for the DIAG error response codes 0x13, 0x14, 0x15, 0x18, 0x42, 0x47.
bool card_is_error_code(long long code);

// An unsolicited event report: 0x60, u16 body length 4, one event (id 298, 2-byte time stamp,
// no payload).
const std::vector<uint8_t> &card_event_report();

// An unsolicited log packet: 0x10, 0, u16 length, u16 length, u16 log code 0x1160 at bytes
// 6-7, an 8-byte time stamp and four payload bytes.
const std::vector<uint8_t> &card_log_packet();
