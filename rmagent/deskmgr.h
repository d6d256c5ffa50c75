// The desktop-manager service: a TCP service on the LAN (port 5000) through which a PC
// program brings the cellular WAN link up or down ("wan0_action") and asks its state. Requests
// and responses are the 12-byte header of common/lan_records.h. Main thread (the event loop).
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/lan_records.h"
#include "platform/eventloop.h"

// At most this many connections at once; a further one is accepted and closed at once.
inline constexpr int kDeskmgrMaxConnections = 16;

// type 2: the TCP service (listening, backlog 5); type 1: a UDP socket (not used by the
// agent). Bound to RMAGENT_ADDR (all addresses when unset) and port RMAGENT_DESKMGR_PORT
// (5000), deskmgr_handler registered. Returns the descriptor, or -1 with a console line.
[[nodiscard]] int deskmgr_open(int type);

// Accepts a connection and registers deskmgrp_rw_handler for it.
int deskmgr_handler(fd_desc *desc);

// Reads one request: a short, mismatched or non-request message closes the connection; a
// request is dispatched and the connection stays open.
int deskmgrp_rw_handler(fd_desc *desc);

// Runs the command of `msg` (a checked request of `len` bytes) from deskmgr_command_table;
// -1 when no row has its code.
[[nodiscard]] int deskmgr_msg_dispatch(fd_desc *desc, const uint8_t *msg, size_t len);

// What one read of `n` bytes is: a request to dispatch (`*h` filled), or the reason the
// connection is closed. The header's length is only compared with `n`, never used to copy.
enum deskmgr_verdict {
    kDeskmgrTake,        // a request
    kDeskmgrShort,       // "too short packet .. "
    kDeskmgrMismatch,    // "mismatch length packet .. "
    kDeskmgrNotRequest,  // "We are only to accept request packet "
};
[[nodiscard]] deskmgr_verdict deskmgr_check(const uint8_t *msg, size_t n, deskmgr_header *h);

// Connections open now.
int deskmgr_connections(void);

// Closes every connection (tests, between cases).
void deskmgr_testing_close_all(void);
