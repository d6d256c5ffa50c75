// Test helper: hands back the nodes of a handler list (the daemon keeps its own for life).
#pragma once

#include <cstdlib>

#include "modemd/msg2cmd.h"

inline void msg2cmd_free_nodes(msgcmd_link *head) {
    for (msgcmd_link *p = head->next; p != head;) {
        msgcmd_link *next = p->next;
        free(static_cast<msgcmd_node *>(p));
        p = next;
    }
    msg2cmd_init(head);
}
