// Syslog for the router's programs. On the board the messages go to the system's syslog
// daemon (openlog/syslog of the C library). Under a router root they go, as datagrams in the
// daemon's "<PRI>Mmm dd hh:mm:ss ident[pid]: text" form, to the socket "/dev/log" under that
// root when something listens there, and are dropped otherwise: a test or a demo never writes
// to the host's own log. Main thread only (like the C library's openlog).
#pragma once

// As openlog(3): identity, LOG_PID / LOG_NDELAY options, facility.
void router_openlog(const char *ident, int option, int facility);

// As setlogmask(3): returns the previous mask; 0 leaves the mask unchanged.
int router_setlogmask(int mask);

// Sends the text at `priority` (the facility of router_openlog unless one is given).
void router_syslog(int priority, const char *fmt, ...) __attribute__((format(printf, 2, 3)));

// Closes the connection (a child about to run another program does this).
void router_closelog(void);

struct tm;
// The local time, for time stamps in log texts (the log formatter's %t clock). True on success.
[[nodiscard]] bool router_local_time(struct tm *now);
