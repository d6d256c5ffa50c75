// The session's timer callbacks: keepalive every 3 seconds, the log sender polling every
// second, the GPS sender, and the retransmission of an unacknowledged log report. Each takes
// the session as its context. Main thread (the event loop).
#pragma once

void rcm_keepalive_func(void *ctx);
void rcm_logsender_func(void *ctx);
void rcm_gpssender_func(void *ctx);
void rcm_retransmit_func(void *ctx);
