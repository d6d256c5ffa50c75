// The Sierra card's answers (modemd/sierra_transport.h) and notifications, read from a card on
// a socket pair. Whatever the card sends, a get never returns more than the room it was given
// nor more payload than the answer carries, and what it returns is the payload the answer
// carries; a text is always terminated; every request the driver writes is a well-formed
// frame. Answers the target builds itself (header, CnS message, its own stuffing) reach the
// payload checks; raw reads reach the framing.
//
// Input: operation byte (bit 7: raw reads), room (u8), then answers: raw as u16 length
// (mod 2100) + bytes; built as type, operation, claimed payload length, payload piece.
#include <sys/socket.h>

#include <cstring>

#include "fuzz/fuzz_support.h"
#include "modemd/sierra.h"
#include "modemd/sierra_transport.h"

namespace {

struct Answer {
    FuzzBytes payload;
    uint8_t claimed = 0;
    bool built = false;
};

FuzzBytes build_answer(FuzzInput &in, Answer *a) {
    uint8_t type = in.u8();
    uint8_t op = in.u8();
    a->claimed = in.u8();
    a->payload = in.piece();
    a->built = true;
    FuzzBytes d = {0, 0, type, 0, 0x10, 0x00, op, 0, 0x78, 0x56, 0x34, 0x12, 0, a->claimed};
    d.insert(d.end(), a->payload.begin(), a->payload.end());
    d[0] = static_cast<uint8_t>((d.size() - 4) >> 8);
    d[1] = static_cast<uint8_t>(d.size() - 4);
    FuzzBytes wire = {0x7E};
    FuzzBytes body = fuzz_stuff(d);
    wire.insert(wire.end(), body.begin(), body.end());
    wire.push_back(0x7E);
    return wire;
}

// Every request on the card's side: flag, stuffed header and message, flag; the header's
// length matches, the type is a request's.
void check_requests(int card) {
    uint8_t buf[4096];
    for (int i = 0; i < 64; ++i) {
        ssize_t n = recv(card, buf, sizeof buf, MSG_DONTWAIT);
        if (n <= 0) return;
        FUZZ_CHECK(n >= 2 && buf[0] == 0x7E && buf[n - 1] == 0x7E);
        FuzzBytes msg = fuzz_unstuff(buf + 1, static_cast<size_t>(n) - 2);
        FUZZ_CHECK(msg.size() >= 4);
        FUZZ_CHECK(((msg[0] << 8) | msg[1]) == static_cast<int>(msg.size()) - 4);
        FUZZ_CHECK(msg[2] == kSierraTypeCnsReq || msg[2] == kSierraTypeDiagReq);
    }
}

// A get's result against the (first) answer it was given.
void check_get(int r, const uint8_t *out, int room, const Answer &a) {
    FUZZ_CHECK(r >= -1 && r <= room);
    if (r < 0 || !a.built) return;
    FUZZ_CHECK(r == a.claimed && static_cast<size_t>(r) <= a.payload.size());
    FUZZ_CHECK(fuzz_same(out, a.payload.data(), static_cast<size_t>(r)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz_init();
    FuzzInput in(data, size);
    uint8_t op = in.u8();
    bool raw = op & 0x80;
    int room = in.u8();
    std::vector<FuzzBytes> records;
    std::vector<Answer> answers;
    while (in.left() > 0 && records.size() < 16) {
        Answer a;
        records.push_back(raw ? in.bytes(in.u16() % 2100) : build_answer(in, &a));
        answers.push_back(a);
    }
    Answer first = answers.empty() ? Answer() : answers[0];
    FuzzCard card(records);
    int fd = card.port();
    uint8_t out[512];
    switch (op & 0x0F) {
        case 0:
            check_get(sierra_cns_get_xxx(fd, out, room, kObjEsn), out, room, first);
            break;
        case 1:
            check_get(sierra_cns_get_xxx_arg(fd, out, room, kObjSmsChunk, 7), out, room, first);
            break;
        case 2: {
            char text[512];
            int r = sierra_cns_get_string(fd, text, room, kObjPhoneNumber);
            FUZZ_CHECK(r >= -1 && r < (room > 0 ? room : 1));
            if (room > 0) FUZZ_CHECK(text[r < 0 ? 0 : r] == '\0');
            break;
        }
        case 3: {
            uint32_t v32 = 0;
            int r = sierra_cns_get_int32(fd, &v32, kObjRssi);
            FUZZ_CHECK(r == -1 || r == 4);
            break;
        }
        case 4: {
            uint8_t value[230] = {1, 2, 3};
            int r = sierra_cns_set_xxx(fd, value, room % 240, kObjHandsetMute);
            FUZZ_CHECK(r == -1 || (r == room % 240 && r <= kSierraMaxSetValue));
            break;
        }
        case 5: {
            int r = sierra_cns_notice_enable_xxx(fd, kObjRssi, room & 1);
            FUZZ_CHECK(r == -1 || r == 0);
            break;
        }
        case 6: {
            uint8_t frame[kSierraFrameBuf] = {};
            frame[4] = 0x0C;
            int r = sierra_diag_cmd(fd, frame, 1, out, room);
            FUZZ_CHECK(r >= -1 && r <= room);
            break;
        }
        default:
            // Notifications, as the event loop's handler takes them: one read, then its line.
            for (size_t i = 0; i <= records.size(); ++i) {
                uint8_t frame[kSierraAnswerCap];
                int n = sierra_read(fd, frame, sizeof frame);
                FUZZ_CHECK(n >= -1 && n <= static_cast<int>(sizeof frame));
                if (n < 0) continue;
                int r = sierra_cns_notice_hander(fd, frame, n);
                FUZZ_CHECK(r == -1 || r == n);
            }
            break;
    }
    check_requests(card.card());
    return 0;
}
