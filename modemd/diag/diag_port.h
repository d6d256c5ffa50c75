// The card's diagnostic port: opening it as the engine needs it, and giving it back.
// Called by the loader with the send mutex held.
#pragma once

#include <termios.h>

// The loader status for an open() that failed with `err`: ENOENT 27, EACCES and EROFS 25,
// EBUSY 36, anything else 15.
int diag_open_status(int err);

// Opens `path` read-write without becoming its controlling terminal, in blocking mode, and
// sets it up for the card: 115200 baud, 8 data bits, 1 stop bit, no parity, hardware flow
// control, raw, reads returning as soon as one byte is there. The settings it had are saved
// in *saved (*saved_valid false when they could not be read). A failing set-up step is logged
// to the console and the start goes on. Returns the descriptor, or the loader status of the
// failed open() as a negative number.
[[nodiscard]] int diag_port_open(const char *path, termios *saved, bool *saved_valid);

// Clears O_ASYNC, restores the saved settings (when valid) and closes the port.
void diag_port_close(int fd, const termios *saved, bool saved_valid);
