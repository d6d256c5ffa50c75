// The Sierra SMS loader (modemd/sms.h): the card's status answer, then each message chunk by
// chunk, from a card on a socket pair. Whatever the card sends, the store holds at most its
// pool, every sender and text is terminated within its record, and the loader ends. Messages
// the target builds itself (well-formed chunks in well-formed answers) are all stored, newest
// first, with the sender and text the assembled bytes say.
//
// Input: mode byte (bit 0: raw reads), then raw reads as u16 length (mod 600) + bytes; or a
// count of messages and, per message, a chunk count and the chunks' data pieces.
#include <cstring>

#include "fuzz/fuzz_support.h"
#include "modemd/sms.h"
#include "modemd/sms_testing.h"

namespace {

FuzzBytes frame(const FuzzBytes &d) {
    FuzzBytes wire = {0x7E};
    FuzzBytes body = fuzz_stuff(d);
    wire.insert(wire.end(), body.begin(), body.end());
    wire.push_back(0x7E);
    return wire;
}

// A CnS answer to `obj` with operation `op` carrying `payload`.
FuzzBytes answer(uint16_t obj, uint8_t op, const FuzzBytes &payload) {
    FuzzBytes d = {0,
                   0,
                   0x6B,
                   0,
                   static_cast<uint8_t>(obj >> 8),
                   static_cast<uint8_t>(obj),
                   op,
                   0,
                   0x78,
                   0x56,
                   0x34,
                   0x12,
                   0,
                   static_cast<uint8_t>(payload.size())};
    d.insert(d.end(), payload.begin(), payload.end());
    d[0] = static_cast<uint8_t>((d.size() - 4) >> 8);
    d[1] = static_cast<uint8_t>(d.size() - 4);
    return frame(d);
}

// The store's records are whole: terminated sender and text, no more than the pool.
int check_store() {
    int stored = 0;
    for (sms_node *n = sms_list; n; n = n->next) {
        FUZZ_CHECK(memchr(n->sender, 0, sizeof n->sender) != nullptr);
        FUZZ_CHECK(memchr(n->body, 0, sizeof n->body) != nullptr);
        FUZZ_CHECK(++stored <= kSmsPoolSize);
    }
    return stored;
}

void run_raw(FuzzInput &in) {
    std::vector<FuzzBytes> records;
    while (in.left() > 0 && records.size() < 64)
        records.push_back(in.bytes(in.u16() % 600));
    FuzzCard card(records);
    sierra_sms_load(card.port());
    check_store();
}

void run_built(FuzzInput &in) {
    int count = in.u8() % 9;
    std::vector<FuzzBytes> records = {answer(0x2000, 2, {0, 0, 0, static_cast<uint8_t>(count)})};
    std::vector<FuzzBytes> messages;
    for (int m = 0; m < count; ++m) {
        int chunks = 2 + in.u8() % 5;
        FuzzBytes msg;
        for (int c = 0; c < chunks; ++c) {
            FuzzBytes data = in.bytes(in.u8() % 101);
            bool last = c == chunks - 1;
            uint8_t type = c == 0 ? 1 : last ? 2 : 4;
            FuzzBytes chunk = {0x12, 0x34, static_cast<uint8_t>(c),
                               type, 0,    static_cast<uint8_t>(data.size())};
            chunk.insert(chunk.end(), data.begin(), data.end());
            records.push_back(answer(0x2001, 2, chunk));
            msg.insert(msg.end(), data.begin(), data.end());
        }
        records.push_back(answer(0x2002, 4, {}));  // the acknowledgement's set answer
        messages.push_back(msg);
    }
    FuzzCard card(records);
    sierra_sms_load(card.port());
    check_store();
    // Newest first: walk the messages backwards, skipping those without a text.
    sms_node *n = sms_list;
    for (auto it = messages.rbegin(); it != messages.rend(); ++it) {
        const FuzzBytes &msg = *it;
        if (msg.size() < static_cast<size_t>(kSmsHeaderLen)) continue;
        FUZZ_CHECK(n != nullptr);
        size_t digits = msg[14] < 31 ? msg[14] : 31;
        FUZZ_CHECK(fuzz_same(n->sender, msg.data() + 15, digits) && n->sender[digits] == 0);
        size_t text = msg.size() - kSmsHeaderLen < 255 ? msg.size() - kSmsHeaderLen : 255;
        FUZZ_CHECK(fuzz_same(n->body, msg.data() + kSmsHeaderLen, text) && n->body[text] == 0);
        FUZZ_CHECK(fuzz_same(n->timestamp, msg.data() + 161, 6));
        n = n->next;
    }
    FUZZ_CHECK(n == nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz_init();
    sms_free_all();
    sms_init();
    FuzzInput in(data, size);
    if (in.u8() & 1)
        run_raw(in);
    else
        run_built(in);
    sms_free_all();
    return 0;
}
