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
sms_node *sms_malloc_one(void);

// Pushes a filled record on sms_list.
void sms_store(sms_node *node);
