// Opening a card's control port. Main thread.
#pragma once

// Opens `path` read/write (never as the controlling terminal). A terminal is switched to raw
// mode, so that frame bytes such as 0x0D or 0x11 pass unchanged. Returns the descriptor, or -1.
int modem_port_open(const char *path);
