// The simulated card's side of the wire: framing its packets, and the packets it sends on
// its own (an event report, a log packet).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// packet + FCS (low byte first), stuffed, closed with the flag. An empty packet gives the two
// check bytes of nothing and the flag.
std::vector<uint8_t> card_frame(const uint8_t *packet, size_t len);

// True for the DIAG error response codes 0x13, 0x14, 0x15, 0x18, 0x42, 0x47.
bool card_is_error_code(long long code);

// An unsolicited event report: 0x60, u16 body length 4, one event (id 298, 2-byte time stamp,
// no payload).
const std::vector<uint8_t> &card_event_report();

// An unsolicited log packet: 0x10, 0, u16 length, u16 length, u16 log code 0x1160 at bytes
// 6-7, an 8-byte time stamp and four payload bytes.
const std::vector<uint8_t> &card_log_packet();
