// Opening the session and registering with the server. Main thread (the event loop).
#pragma once

#include "rmagent/session.h"

// Opens and binds the socket (port 1161 on all addresses, or the RMAGENT_PORT and
// RMAGENT_ADDR overrides), registers rcm_handler, makes the session the timers' context and
// registers with the server. Returns the descriptor, or -1 when the socket cannot be opened.
[[nodiscard]] int rcm_open(rcm_session *s);

// Registers with the server, blocking until it answers and both variable sends succeed;
// then arms the keepalive, log and GPS timers.
void do_rcm_register(rcm_session *s);
