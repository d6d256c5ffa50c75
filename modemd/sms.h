// The SMS store: a fixed pool of message records built at start-up, and the list of messages
// loaded from the card (newest first). Main thread.
#pragma once

#include <cstdint>

inline constexpr int kSmsPoolSize = 64;

struct sms_node {
    char sender[32];       // originating address digits, terminated (at most 31 digits)
    uint16_t flags;        // bit 0: flagged
    uint8_t timestamp[6];  // year, month, day, hour, minute, second (two-digit BCD)
    char body[256];        // message text, terminated (at most 255 bytes)
    sms_node *next;
};

extern sms_node *sms_free_list;
extern sms_node *sms_list;

// Allocates up to kSmsPoolSize records onto sms_free_list; an allocation failure ends the
// loop with the records obtained so far.
void sms_init(void);

// A record from the pool, or nullptr when it is empty.
[[nodiscard]] sms_node *sms_malloc_one(void);

// Pushes a filled record on sms_list.
void sms_store(sms_node *node);

// Command handlers of the store (contract in modemd/msg2cmd.h), registered by the Sierra
// family. 7: counts of flagged and unflagged messages, 16-bit each, least significant byte
// first. 8: succeeds with no data when a message is stored, fails when the store is empty.
// 9, 10, 11: succeed with no data and change nothing.
[[nodiscard]] int sms_get_status(uint8_t *req, int req_len, uint8_t *reply, int cap);
[[nodiscard]] int sms_read(uint8_t *req, int req_len, uint8_t *reply, int cap);
[[nodiscard]] int sms_write(uint8_t *req, int req_len, uint8_t *reply, int cap);
[[nodiscard]] int sms_remove(uint8_t *req, int req_len, uint8_t *reply, int cap);
[[nodiscard]] int sms_flag(uint8_t *req, int req_len, uint8_t *reply, int cap);

// The Sierra loader: reads the messages waiting in the card on `fd` (the count is the
// "normal" count of the SMS status object) chunk by chunk, and stores each in a record.
//
// Assembled message (the chunks' data, in order, in a 1024-byte buffer):
//   off  size   field
//   0    4      paraBitMask (printed as a host-order word)
//   14   1      sender digit count
//   15   count  sender digits
//   153  1      msgLanguage
//   161  6      time stamp: year, month, day, hour, minute, second (BCD)
//   184  rest   message text
// Chunk (payload of a get of object 0x2001; the first with a plain get, the next ones with a
// get with argument 0, 1, ...):
//   0 2 msgid (big-endian)  2 1 seqnum  3 1 pkttype (1 first; 2 or 3 last; other: further)
//   4 1 remain              5 1 length  6 length data
// The last chunk is acknowledged with a 16-bit set of object 0x2002 carrying msgid.
//
// Bounds: data beyond 1024 assembled bytes is dropped (the message is still read to its end
// and kept: the text is cut at 255 bytes anyway); a sender longer than 31 digits is cut to 31;
// a message shorter than 184 bytes carries no text and is skipped, as is a message with a
// malformed chunk. Loading stops before a message is read once the pool is empty, so the card
// keeps (and does not see acknowledged) a message there is no room for. It also stops, with a
// console line, at the first chunk get the card does not answer properly (each costs the
// exchange's time-out, and the count of waiting messages comes from the card: it must not hold
// the daemon's start for a wait per message).
void sierra_sms_load(int fd);

inline constexpr int kSmsAssemblyMax = 1024;
inline constexpr int kSmsHeaderLen = 184;
inline constexpr int kSmsBadChunk = -1;
inline constexpr int kSmsNoAnswer = -2;

// Reads one message into `buf` (kSmsAssemblyMax bytes). Returns the assembled length (data
// beyond the buffer is counted but not kept), kSmsBadChunk or kSmsNoAnswer.
[[nodiscard]] int sierra_sms_read_msg(int fd, uint8_t *buf);

// Reads one chunk: a plain get when `first`, else a get with argument `arg`. Its data is
// copied to `out` (at most `out_room` bytes kept) and its length stored in `*data_len`.
// Returns 1 after the last chunk, 0 when more follow, kSmsBadChunk when the answer is not a
// well-formed chunk, kSmsNoAnswer when the get got no good answer from the card.
[[nodiscard]] int sierra_sms_read_chunk(int fd, bool first, uint16_t arg, uint8_t *out,
                                        int out_room, int *data_len);

// Fills `node` from an assembled message of `len` bytes (at least kSmsHeaderLen).
void sms_fill_from_sierra(sms_node *node, const uint8_t *msg, int len);
