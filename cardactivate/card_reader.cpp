#include "cardactivate/card_reader.h"

#include <cstring>

#include "common/bytes.h"
#include "common/fcs16.h"

namespace {

constexpr int kKindLen = 12;
constexpr int kStateLen = 13;
constexpr int kLongLen = 15;
constexpr uint8_t kActivationChannel = 10;
constexpr int kPrlType = 9;

void queue_frame(CardReader *r, const uint8_t *data, size_t len) {
    if (r->count == kCardQueue || len > kCardFrameMax) {
        ++r->dropped;
        return;
    }
    CardFrame *f = &r->queue[(r->head + r->count) % kCardQueue];
    memcpy(f->data, data, len);
    f->len = static_cast<int>(len);
    ++r->count;
}

void on_frame(void *ctx, const uint8_t *data, size_t len, bool good) {
    CardReader *r = static_cast<CardReader *>(ctx);
    if (good) return queue_frame(r, data, len);
    // The card (like the startup frame) may put one byte before a frame.
    if (len >= 1 + kStuffFcsBytes && fcs16_good(data + 1, len - 1))
        return queue_frame(r, data + 1, len - 1 - kStuffFcsBytes);
    ++r->dropped;
}

}  // namespace

void card_reader_init(CardReader *r) {
    stuff_rx_init(&r->rx, r->work, sizeof r->work);
    r->head = r->count = 0;
    r->dropped = 0;
}

int card_reader_feed(CardReader *r, const uint8_t *bytes, size_t len) {
    int before = r->count;
    stuff_rx_decode(&r->rx, bytes, len, on_frame, r);
    return r->count - before;
}

const CardFrame *card_reader_take(CardReader *r) {
    if (r->count == 0) return nullptr;
    const CardFrame *f = &r->queue[r->head];
    r->head = (r->head + 1) % kCardQueue;
    --r->count;
    return f;
}

bool card_frame_kind(const CardFrame *f, int *channel, int *type) {
    if (f->len < kKindLen) return false;
    *channel = f->data[8];
    *type = get_be16(f->data + 10);
    return true;
}

int card_frame_state(const CardFrame *f) {
    return f->len < kStateLen ? -1 : f->data[12];
}

bool card_frame_prl(const CardFrame *f, int *version) {
    if (f->len < kLongLen || f->data[8] != kActivationChannel) return false;
    // The type in either byte order: which one the card uses here is not settled.
    if (get_be16(f->data + 10) != kPrlType && get_le16(f->data + 10) != kPrlType) return false;
    *version = get_be16(f->data + 13);
    return true;
}

bool card_frame_hello_ok(const CardFrame *f) {
    return f->len >= kLongLen && f->data[14] == 0x01;
}
