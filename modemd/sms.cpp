#include "modemd/sms.h"

#include <cstdlib>

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
