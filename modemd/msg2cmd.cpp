#include "modemd/msg2cmd.h"

#include <cstdlib>

void msg2cmd_init(msgcmd_link *head) {
    head->next = head->prev = head;
}

msgcmd_node *register_msgcmd_handler(msgcmd_link *head, uint32_t cmd, msgcmd_handler_t handler) {
    msgcmd_node *node = static_cast<msgcmd_node *>(malloc(sizeof(msgcmd_node)));
    if (!node) return nullptr;
    node->cmd = cmd;
    node->handler = handler;
    node->next = head;
    node->prev = head->prev;
    head->prev->next = node;
    head->prev = node;
    return node;
}

msgcmd_node *find_msgcmd_handler(msgcmd_link *head, uint32_t cmd) {
    for (msgcmd_link *p = head->next; p != head; p = p->next) {
        msgcmd_node *node = static_cast<msgcmd_node *>(p);
        if (node->cmd == cmd) return node;
    }
    return nullptr;
}
