// modemd's command queue: receives command messages, runs the selected family's handler and
// posts the answer to the sender's own queue. Main thread (the event loop).
#pragma once

#include <cstddef>

#include "common/msgcmd.h"
#include "modemd/msg2cmd.h"

// Creates the queue with `key`, first removing a queue left by an earlier run with every
// message in it, and registers it with the event loop. Returns the descriptor, or -1.
[[nodiscard]] int msgqueue_open(int key);

// Runs the handler for a received message of `text_len` text bytes (at least 24) and writes
// the answer into the same buffer. Returns the size to post, counting a 4-byte mtype as
// msgsnd_with_keyid() does.
int msgqueue_dispatch(msgcmd &msg, size_t text_len, msgcmd_link *handlers);
