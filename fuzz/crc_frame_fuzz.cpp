// The CRC-trailed frames of KPC650 and CDU cards (modemd/crc_frame.h), read from a card on a
// socket pair: a frame is taken only when its FCS-16 is right and it fits, and then holds
// exactly the bytes the target's own unstuffing finds; frames the target builds with its own
// FCS always come through; what crc_frame_write sends is the target's own framing.
//
// Input: mode byte (bit 0: raw reads / data to frame), capacity (u16), then records as
// u16 length (mod 2100) + bytes.
#include <sys/socket.h>

#include <cstring>
#include <memory>

#include "fuzz/fuzz_support.h"
#include "modemd/crc_frame.h"

namespace {

// The codec under test, in one place.
int codec_read(CrcFrameBuffers *bufs, int fd, uint8_t *out, int cap) {
    return crc_frame_read(bufs, fd, out, cap);
}
int codec_write(CrcFrameBuffers *bufs, int fd, uint8_t *data, int len) {
    return crc_frame_write(bufs, fd, data, len);
}

FuzzBytes own_frame(const FuzzBytes &data) {
    FuzzBytes wire = fuzz_stuff(fuzz_with_fcs(data));
    wire.push_back(0x7E);
    return wire;
}

// What a read of `raw` must give: the data, or nothing (-1).
bool expected(const FuzzBytes &raw, int cap, FuzzBytes *data) {
    size_t n = raw.size() < kCrcFrameBuf - 1 ? raw.size() : kCrcFrameBuf - 1;
    if (n < static_cast<size_t>(kCrcFrameMinRead) || n > static_cast<size_t>(cap)) return false;
    FuzzBytes body = fuzz_unstuff(raw.data(), n - 1);  // the last byte is taken as the flag
    if (body.size() < 2) return false;
    FuzzBytes payload(body.begin(), body.end() - 2);
    if (fuzz_with_fcs(payload) != body) return false;
    *data = payload;
    return true;
}

void check_write(const FuzzBytes &data) {
    FuzzCard card({});
    auto bufs = std::make_unique<CrcFrameBuffers>();
    FuzzBytes buf = data;
    buf.resize(data.size() + 2);
    int r = codec_write(bufs.get(), card.port(), buf.data(), static_cast<int>(data.size()));
    FuzzBytes wire = own_frame(data);
    if (wire.size() + 1 > static_cast<size_t>(kCrcFrameBuf)) {
        FUZZ_CHECK(r == -1);
        return;
    }
    FUZZ_CHECK(r == static_cast<int>(wire.size()) + 1);
    FuzzBytes got(kCrcFrameBuf * 2);
    ssize_t n = recv(card.card(), got.data(), got.size(), MSG_DONTWAIT);
    FUZZ_CHECK(n == static_cast<ssize_t>(wire.size()));
    got.resize(static_cast<size_t>(n));
    FUZZ_CHECK(got == wire);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz_init();
    FuzzInput in(data, size);
    bool built = in.u8() & 1;
    int cap = in.u16() % 2100;
    std::vector<FuzzBytes> sent, records;
    while (in.left() > 0 && records.size() < 32) {
        FuzzBytes r = in.bytes(in.u16() % 2100);
        if (r.empty()) continue;
        sent.push_back(r);
        records.push_back(built ? own_frame(r) : r);
        if (built && r.size() < 1000) check_write(r);
    }
    FuzzCard card(records);
    auto bufs = std::make_unique<CrcFrameBuffers>();
    for (size_t i = 0; i <= records.size(); ++i) {
        auto out = std::make_unique<uint8_t[]>(static_cast<size_t>(cap) + 1);
        int r = codec_read(bufs.get(), card.port(), out.get(), cap);
        if (i == records.size()) {
            FUZZ_CHECK(r == -1);  // end of file
            break;
        }
        FuzzBytes want;
        bool ok = expected(records[i], cap, &want);
        if (built && records[i].size() <= static_cast<size_t>(cap) && records[i].size() >= 4 &&
            records[i].size() < kCrcFrameBuf)
            FUZZ_CHECK(ok && want == sent[i]);
        FUZZ_CHECK(ok ? r == static_cast<int>(want.size()) : r == -1);
        if (ok) FUZZ_CHECK(fuzz_same(out.get(), want.data(), want.size()));
    }
    return 0;
}
