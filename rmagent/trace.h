// The agent's debug stream: traces written to standard error while `debug` is above 0.
// Main thread only.
#pragma once

#include <cstdio>

void rcm_debug(const char *fmt, ...) __attribute__((format(printf, 1, 2)));

// Redirects the debug stream (tests); nullptr restores standard error.
void rcm_set_debug_stream(FILE *stream);
