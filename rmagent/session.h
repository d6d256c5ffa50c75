// The agent's one session with the management server, its four timers and the agent-wide
// settings. One session for the life of the process; everything here runs on the main thread
// (the event loop).
#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>

#include "platform/eventloop.h"

inline constexpr size_t kRcmBufSize = 8192;

struct rcm_session {
    int sock;                // the UDP socket, -1 while closed
    sockaddr_in server;      // where every datagram the agent originates goes
    uint8_t session_id[8];   // last value adopted from the server
    char serial[13];         // nvram "SN", at most 12 characters
    char fw_version[65];     // nvram "version_firmware", at most 64 characters
    char product_model[65];  // nvram "product_model", at most 64 characters
    char domain[65];         // the -m argument, at most 64 characters
    uint8_t *rx_buf;         // kRcmBufSize + 1: a NUL may be put after the bytes received
    int rx_len;              // bytes of the datagram last received
    sockaddr_in reply_addr;  // source of the datagram last received
    uint8_t *tx_buf;         // kRcmBufSize: datagrams are built here
    int tx_len;              // last datagram of the log, GPS or keepalive sender
    // The log report awaiting "Log OK", kept apart from tx_buf so that a keepalive or any
    // other datagram sent meanwhile cannot replace what a retransmission resends.
    uint8_t *report_buf;
    int report_len;  // 0 when no log report is pending
    int keepalive_misses;
    int retransmits;
    int ready;  // 1 when no report awaits acknowledgement
    uint32_t seq;
};

extern int debug;              // above 0 after -d: traces on standard error
extern int gps_send_interval;  // seconds between GPS reports

extern event_timer rcm_retransmit;
extern event_timer rcm_logsender;
extern event_timer rcm_gpssender;
extern event_timer rcm_keepalive;

// Allocates the session and its buffers, zero-filled, and fills serial, fw_version and
// product_model from nvram. nullptr when memory is short.
[[nodiscard]] rcm_session *rcm_session_new(void);
void rcm_session_free(rcm_session *s);

// gps_send_interval from nvram "gps_send_interval", at least 10.
void rcm_read_gps_interval(void);

// Disarms `timer` and arms it again `seconds` from now.
void rcm_arm(event_timer *timer, unsigned long seconds);
