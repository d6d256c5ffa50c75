#include "modemd/sms.h"

#include <cstdlib>

#include "common/bytes.h"

sms_node *sms_free_list;
sms_node *sms_list;

void sms_init(void) {
    for (int i = 0; i < kSmsPoolSize; ++i) {
        sms_node *node = static_cast<sms_node *>(calloc(1, sizeof(sms_node)));
        if (!node) break;
        node->next = sms_free_list;
        sms_free_list = node;
    }
}

sms_node *sms_malloc_one(void) {
    sms_node *node = sms_free_list;
    if (node) sms_free_list = node->next;
    return node;
}

void sms_store(sms_node *node) {
    node->next = sms_list;
    sms_list = node;
}

int sms_get_status(uint8_t *, int, uint8_t *reply, int cap) {
    if (cap < 4) return -1;
    unsigned flagged = 0, unflagged = 0;
    for (sms_node *n = sms_list; n; n = n->next)
        (n->flags & 1 ? flagged : unflagged)++;
    put_le16(reply, static_cast<uint16_t>(flagged));
    put_le16(reply + 2, static_cast<uint16_t>(unflagged));
    return 4;
}

int sms_read(uint8_t *, int, uint8_t *, int) {
    return sms_list ? 0 : -1;
}

int sms_write(uint8_t *, int, uint8_t *, int) {
    return 0;
}

int sms_remove(uint8_t *, int, uint8_t *, int) {
    return 0;
}

int sms_flag(uint8_t *, int, uint8_t *, int) {
    return 0;
}
