// The activation tool's frame reader (cardactivate/card_reader.h) on any bytes from the card,
// in two reads split where the first byte says (the rest is the card's bytes). Properties: frames
// come out within their bounds; each framed again and read by a fresh reader gives itself back; the
// fields answer only for frames long enough. Links cardactivate_core and common.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "cardactivate/card_reader.h"
#include "common/fcs16.h"

namespace {

void check_fields(const CardFrame *f) {
    int channel, type, version;
    if (card_frame_kind(f, &channel, &type) != (f->len >= 12)) abort();
    if ((card_frame_state(f) >= 0) != (f->len >= 13)) abort();
    if (card_frame_prl(f, &version) && f->len < 15) abort();
    if (card_frame_hello_ok(f) && f->len < 15) abort();
}

void check_round_trip(const CardFrame *f) {
    static uint8_t data[kCardFrameMax + 2];
    static uint8_t wire[stuff_frame_max(kCardFrameMax, kStuffFcs)];
    memcpy(data, f->data, static_cast<size_t>(f->len));
    int n = stuff_frame(data, static_cast<size_t>(f->len), kStuffFcs, wire, sizeof wire);
    if (n < 0) abort();
    static CardReader again;
    card_reader_init(&again);
    if (card_reader_feed(&again, wire, static_cast<size_t>(n)) != 1) abort();
    const CardFrame *g = card_reader_take(&again);
    if (!g || g->len != f->len || memcmp(g->data, f->data, static_cast<size_t>(f->len)) != 0)
        abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    const uint8_t *body = data + 1;
    size_t n = size - 1;
    size_t cut = data[0] % (n + 1);
    static CardReader r;
    card_reader_init(&r);
    int queued = card_reader_feed(&r, body, cut);
    queued += card_reader_feed(&r, body + cut, n - cut);
    if (queued < 0 || queued > kCardQueue || r.count != queued) abort();
    // Copied out: the round trip below reuses nothing of `r`, but take() hands out its slots.
    static CardFrame f;
    for (const CardFrame *p; (p = card_reader_take(&r));) {
        if (p->len < 0 || p->len > kCardFrameMax) abort();
        f = *p;
        check_fields(&f);
        check_round_trip(&f);
    }
    return 0;
}
