#include "rmagent/trace.h"

#include <cstdarg>

#include "rmagent/session.h"

namespace {
FILE *g_stream;
}

void rcm_debug(const char *fmt, ...) {
    if (debug <= 0) return;
    FILE *out = g_stream ? g_stream : stderr;
    va_list ap;
    va_start(ap, fmt);
    vfprintf(out, fmt, ap);
    va_end(ap);
    fflush(out);
}

void rcm_set_debug_stream(FILE *stream) {
    g_stream = stream;
}
