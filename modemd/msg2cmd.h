// The command handler registry: one circular doubly linked list per card family, searched by
// command number. Filled before the event loop starts, read-only afterwards; main thread.
#pragma once

#include <cstdint>

// A command handler reads its request data and writes its reply in place (`req` and `reply`
// are the same buffer). Returns the reply length, or a negative value on failure.
typedef int (*msgcmd_handler_t)(uint8_t *req, int req_len, uint8_t *reply, int reply_cap);

// List head: two link words pointing at itself when the list is empty.
struct msgcmd_link {
    msgcmd_link *next;
    msgcmd_link *prev;
};

// Heap node: the links, then the command number and its handler.
struct msgcmd_node : msgcmd_link {
    uint32_t cmd;
    msgcmd_handler_t handler;
};

// Makes the list empty. Nodes it held are not freed (they live for the process).
void msg2cmd_init(msgcmd_link *head);

// Appends a handler for `cmd`; lookups see handlers in registration order, so the first
// registration of a number wins. Returns the node, or nullptr when memory runs out.
[[nodiscard]] msgcmd_node *register_msgcmd_handler(msgcmd_link *head, uint32_t cmd,
                                                   msgcmd_handler_t handler);

// The first node registered for `cmd`, or nullptr.
msgcmd_node *find_msgcmd_handler(msgcmd_link *head, uint32_t cmd);
