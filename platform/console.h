// Messages to the router's console ("/dev/console", under the router root when one is set).
// Each call opens the console, writes and closes it; when the console cannot be opened the
// message is dropped, as on the board. Safe from any thread (one write per message).
//
// The plain calls write every line (a factory tool's every line counts). The resident daemons
// use the limited calls for lines the outside can provoke at will (a card sending garbage, a
// client sending malformed requests): lines of one kind, that is of one format string, get
// through at most kConsoleLinesPerSecond times a second; the rest are counted, and the next
// line of that kind that gets through is preceded by one line saying how many were held back.
#pragma once

#include <cstddef>
#include <cstdio>

inline constexpr unsigned kConsoleLinesPerSecond = 10;

// Writes `len` bytes as they are. Returns the bytes written, or -1 when dropped.
int console_write(const char *text, size_t len);

// printf-style; the formatted text is cut at 1023 bytes.
int console_printf(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// console_printf(), rate-limited by `fmt`. Returns 0 for a line held back.
int console_printf_limited(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// The same limit for a daemon's lines to `stream` (standard output is the board's console).
int console_fprintf_limited(FILE *stream, const char *fmt, ...)
    __attribute__((format(printf, 2, 3)));
