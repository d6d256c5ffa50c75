// The card's control port: opening it, reading it, and noticing that the card is gone.
// Main thread (the event loop and the command handlers it runs).
//
// A card that is pulled out leaves its port hung up: poll() reports it readable for ever and
// every read ends in end of file or an I/O error. The first read that sees this marks the
// port lost: it is unregistered from the event loop (so the daemon does not spin on it), one
// line says so on the console, and from then on every exchange with the card fails at once,
// so commands that need the card are answered with result 1. The descriptor itself stays
// open, so its number is never reused by another file that a stale handler could write to.
#pragma once

#include <sys/types.h>

#include <cstddef>

// Opens `path` read/write (never as the controlling terminal) and remembers it as the card's
// port. A terminal is switched to raw mode, so that frame bytes such as 0x0D or 0x11 pass
// unchanged. Returns the descriptor, or -1.
[[nodiscard]] int modem_port_open(const char *path);

// False once the card behind `fd` is gone (or for a negative descriptor).
[[nodiscard]] bool modem_port_ok(int fd);

// One read() of the port. Returns the bytes read (above 0), or -1: a signal or a transient
// error, or the card is gone (end of file, hang-up, I/O error), in which case the port has
// been marked lost as described above.
[[nodiscard]] ssize_t modem_port_read(int fd, void *buf, size_t cap);

// Marks the port lost (see above). `why` says what was seen. Harmless when already lost.
void modem_port_lost(int fd, const char *why);
