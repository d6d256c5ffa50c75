// System V message queues as the event loop sees them.
//
// A System V queue cannot be polled, so msgqToFd() starts a bridging thread that blocks in
// msgrcv() and forwards each message whole (mtype and text) through a SOCK_SEQPACKET socket
// pair: the descriptor is readable exactly while a message waits, messages keep their order,
// and the thread sleeps while the queue is empty. The thread touches nothing but the queue and
// its end of the pair. Everything else here runs on the caller's thread.
#pragma once

#include <sys/types.h>

#include <cstddef>

// Creates the queue with `key` (mode 0660), first removing a queue left with that key by an
// earlier run, with every message in it. Returns the queue id, or -1 with errno set.
[[nodiscard]] int msgq_create_fresh(int key);

// Descriptor readable while a message of queue `qid` waits, or -1.
[[nodiscard]] int msgqToFd(int qid);

// Receives one message from a msgqToFd() descriptor into `msgbuf` (a native `long mtype`
// followed by `text_cap` bytes). A longer message is cut to `text_cap`. Returns the text
// length received; -1 on error, with errno EIDRM once the queue is gone for good (the bridge
// ended: stop watching the descriptor).
[[nodiscard]] ssize_t msgq_receive(int fd, void *msgbuf, size_t text_cap);

// Sends one message to the queue with key `keyid`. `msgbuf` starts with the native mtype;
// `len` counts the text plus a 4-byte mtype, as on the board. Never blocks: a queue that does
// not exist or is full fails. Returns `len`, or -1.
[[nodiscard]] int msgsnd_with_keyid(int keyid, const void *msgbuf, int len);
