// The server's configuration request (oid 0x0101): a variable batch whose entries are applied
// through the setters of config_variables, then acknowledged. Nothing is committed here.
// Main thread only.
#pragma once

#include "rmagent/session.h"

// Applies the request in rx_buf (a datagram of rx_len bytes whose header was checked: its
// payloadlen lies within what arrived) and acknowledges it to reply_addr.
void rcm_config_func(rcm_session *s);
