// The session socket's readiness handler and the server requests it carries out. Main thread
// (the event loop).
#pragma once

#include "platform/eventloop.h"
#include "rmagent/session.h"

// Takes one datagram: a request from the server is carried out, an acknowledgement settles
// the report it acknowledges. Datagrams from anywhere but the server's address, shorter than
// 36 bytes, with a payloadlen beyond what arrived or without the server's magic are dropped.
int rcm_handler(fd_desc *desc);

// Acknowledges and carries out a request other than configuration and upgrade: commit and
// reboot (0x0102), restore defaults and reboot (0x0103), send status (0x0104).
void rcm_generic_func(rcm_session *s);

// Commits nvram and reboots the router; one-shot (a second call returns at once). Used by
// the LAN discovery service.
void do_system_reboot(void);
