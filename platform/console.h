// Messages to the router's console ("/dev/console", under the router root when one is set).
// Each call opens the console, writes and closes it; when the console cannot be opened the
// message is dropped, as on the board. Safe from any thread (one write per message).
#pragma once

#include <cstddef>

// Writes `len` bytes as they are. Returns the bytes written, or -1 when dropped.
int console_write(const char *text, size_t len);

// printf-style; the formatted text is cut at 1023 bytes.
int console_printf(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
