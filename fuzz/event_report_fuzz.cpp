// The card's event reports: the walk stays inside both the report's own length and the
// packet (ASan sees any read past it), and every event raised is one the parser may raise.
// Input: the report body (the bytes after 0x60).
#include <cstdint>
#include <cstdlib>

#include "modemd/diag/diag_activation.h"
#include "modemd/diag/diag_events.h"

namespace {

size_t g_raised;

void check(const diag_event *e) {
    ++g_raised;
    bool ok = (e->event_type == 3 && e->event_code == 28) ||
              (e->event_type == 6 && e->event_code <= 15) ||
              (e->event_type == 9 && (e->event_code == 22 || e->event_code == 23)) ||
              (e->event_type == 13 && e->event_code >= 29 && e->event_code <= 31);
    if (!ok || e->event_version != 1) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    for (uint16_t t : {3, 6, 9, 13})
        gCallbacks[t] = check;
    g_raised = 0;
    // Copied so that the parser's bound is the copy's end exactly.
    uint8_t *copy = static_cast<uint8_t *>(malloc(size ? size : 1));
    for (size_t i = 0; i < size; ++i)
        copy[i] = data[i];
    diag_event_report_parse(copy, size);
    free(copy);
    // Every event takes at least its id word and a 2-byte stamp.
    if (g_raised > size / 4) abort();
    return 0;
}
