// The frames a KPC650 card sends the activation tool, taken from its reads with the common
// decoder (common/stuffing.h): joined at the 0x7E flag across reads, checked, and queued one
// by one; a frame whose check value is wrong is dropped, unless it is good without its first
// byte (a stray byte before a frame). Pure computation; one reader per thread.
//
// Fields of a frame's data, each read only from a frame long enough to hold it:
//
//   offset  size  field                                       frame needs
//   8       1     channel: 0 control, 10 activation service   12 bytes (with the type)
//   10      2     message type                                12
//   12      1     activation state (channel 10, type 1)       13
//   13      2     PRL version, big-endian (PRL version reply) 15
//   14      1     hello reply: 0x01 when the card agrees      15
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/stuffing.h"

inline constexpr int kCardFrameMax = 512;  // frame data; a longer frame is dropped
inline constexpr int kCardQueue = 16;      // frames waiting to be taken; more are dropped

struct CardFrame {
    uint8_t data[kCardFrameMax];
    int len;
};

struct CardReader {
    StuffRx rx;
    uint8_t work[kCardFrameMax + kStuffFcsBytes + 1];
    CardFrame queue[kCardQueue];
    int head;
    int count;
    unsigned dropped;  // frames refused: bad check value, or the queue full
};

void card_reader_init(CardReader *r);
// Decodes one read's bytes, queueing the good frames. Returns the frames queued.
int card_reader_feed(CardReader *r, const uint8_t *bytes, size_t len);
// The oldest frame queued, or nullptr; valid until the next feed or take.
const CardFrame *card_reader_take(CardReader *r);

// Channel and big-endian type; false for a frame shorter than 12 bytes.
bool card_frame_kind(const CardFrame *f, int *channel, int *type);
// The state of a progress report, or -1 when the frame is shorter than 13 bytes.
int card_frame_state(const CardFrame *f);
// A PRL version reply (channel 10, type 9 as 00 09 or 09 00, 15 bytes): its version.
bool card_frame_prl(const CardFrame *f, int *version);
// A hello reply in which the card agrees: byte 14 is 0x01 (15 bytes).
bool card_frame_hello_ok(const CardFrame *f);
