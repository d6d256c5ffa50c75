// Test helper: hands back every record of the SMS store (the daemon keeps its pool for life)
// so each test starts from a fresh pool.
#pragma once

#include <cstdlib>

#include "modemd/sms.h"

inline void sms_free_all() {
    for (sms_node **list : {&sms_list, &sms_free_list}) {
        while (sms_node *n = *list) {
            *list = n->next;
            free(n);
        }
    }
}
