// Sending and receiving the session's datagrams, and the blocking wait for the server's reply
// that registration and variable batches share. Main thread only.
#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>

#include "rmagent/session.h"

// Sends `len` bytes of `buf` to the server. Returns the bytes sent, or -1.
[[nodiscard]] int rcm_send(rcm_session *s, const uint8_t *buf, size_t len);

// Sends `len` bytes of `buf` to `to`. Returns the bytes sent, or -1.
[[nodiscard]] int rcm_send_to(rcm_session *s, const uint8_t *buf, size_t len,
                              const sockaddr_in &to);

// Receives one datagram into rx_buf (a NUL follows it) and keeps its source in reply_addr.
// Returns its length, or -1.
[[nodiscard]] int rcm_receive(rcm_session *s);

// Whether the datagram last received came from the server's address. Only the server may
// steer the agent: anything else is dropped with a debug line (said here).
[[nodiscard]] bool rcm_from_server(rcm_session *s);

// Waits for the reply to the datagram just sent: up to 2 seconds at a time, taking the first
// datagram from the server of at least 36 bytes, with a payloadlen within what arrived and
// the current seq; anything else is consumed and dropped. On the reply, adopts its bytes 0-7
// as session_id. Returns 1 on the reply, 0 on a time-out, -1 when the wait fails.
[[nodiscard]] int rcm_await_reply(rcm_session *s);
