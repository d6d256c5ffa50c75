// The DIAG engine's response parsers (modemd/diag): software version, device information and
// the GPS requests, each a real transaction through the reader thread. The card is a thread of
// this target on a socket pair: it takes the request, answers with the input, then closes
// with a frame of its own that settles any transaction (an error answer naming another
// command), so no transaction waits for its time-out.
//
// Whatever the card answers: the status is one the operation documents; a success carries
// exactly the bytes of a good frame of the answer (the target's own decoding and FCS); a GPS
// position converts into finite values.
//
// Input: operation byte (bit 7: answer packets framed by the target, bit 6: each such packet
// led by the request's own header), then the raw answer, or packets as u16 length (mod 300)
// + bytes.
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cmath>
#include <cstring>

#include "fuzz/fuzz_support.h"
#include "modemd/diag/diag_device_info.h"
#include "modemd/diag/diag_engine.h"
#include "modemd/diag/diag_reader.h"
#include "modemd/diag/diag_status.h"
#include "modemd/diag/gps.h"

namespace {

constexpr int kMaxFlags = 100;  // the packet list holds 128: room for the closing frame

struct Card {
    int fd;
    FuzzBytes answer;
};

void *card_thread(void *arg) {
    Card *card = static_cast<Card *>(arg);
    // The request first, so that the answer reaches an open transaction.
    pollfd p = {card->fd, POLLIN, 0};
    uint8_t buf[4096];
    if (poll(&p, 1, 60000) == 1 && read(card->fd, buf, sizeof buf) > 0) {
        size_t at = 0;
        while (at < card->answer.size()) {
            ssize_t n = write(card->fd, card->answer.data() + at, card->answer.size() - at);
            if (n <= 0) break;
            at += static_cast<size_t>(n);
        }
    }
    return nullptr;
}

FuzzBytes framed(const FuzzBytes &packet) {
    FuzzBytes wire = fuzz_stuff(fuzz_with_fcs(packet));
    wire.push_back(0x7E);
    return wire;
}

// The good frames of a stream, as the target reads it: split at every flag, unstuffed, the
// FCS checked; an escape right before a flag voids the frame.
std::vector<FuzzBytes> good_frames(const FuzzBytes &stream) {
    std::vector<FuzzBytes> frames;
    size_t start = 0;
    for (size_t i = 0; i < stream.size(); ++i) {
        if (stream[i] != 0x7E) continue;
        bool aborted = i > start && stream[i - 1] == 0x7D;
        if (!aborted) {
            FuzzBytes body = fuzz_unstuff(stream.data() + start, i - start);
            if (body.size() >= 2) {
                FuzzBytes packet(body.begin(), body.end() - 2);
                if (fuzz_with_fcs(packet) == body) frames.push_back(packet);
            }
        }
        start = i + 1;
    }
    return frames;
}

bool carried(const std::vector<FuzzBytes> &frames, const uint8_t *head, size_t head_len,
             size_t min_len, size_t off, const uint8_t *got, size_t got_len) {
    for (const FuzzBytes &f : frames) {
        if (f.size() < min_len || f.size() < off + got_len || memcmp(f.data(), head, head_len) != 0)
            continue;
        if (memcmp(f.data() + off, got, got_len) == 0) return true;
    }
    return false;
}

bool transaction_status(int s) {
    switch (s) {
        case kDiagOk:
        case kDiagBadCommand:
        case kDiagBadParams:
        case kDiagBadLength:
        case kDiagBadSecurityMode:
        case kDiagMismatch:
        case kDiagBadSpcMode:
        case kDiagBadMode:
            return true;
        case kDiagTimeout:
            // The closing frame settles every transaction at once; only a host so loaded (the
            // cross build under qemu) that the reader misses the engine's own deadline of 1 or
            // 5 seconds ends in a time-out. A failed write cannot happen here.
            return true;
        default:
            return false;
    }
}

uint32_t le32(const uint8_t *p) {
    return static_cast<uint32_t>(p[0] | p[1] << 8 | p[2] << 16) | static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz_init();
    if (g_diag.vendor_subsys_id == 0) g_diag.vendor_subsys_id = kDiagDefaultSubsysId;
    FuzzInput in(data, size);
    uint8_t op_byte = in.u8();
    int op = op_byte % 5;
    static const uint8_t kHeads[5][4] = {{0x00, 0, 0, 0},
                                         {0x4B, kDiagDefaultSubsysId, 11, 0},
                                         {0x4B, kGpsSubsys, 4, 0},
                                         {0x4B, kGpsSubsys, 3, 0},
                                         {0x4B, kGpsSubsys, 0, 0}};
    const uint8_t *head = kHeads[op];
    size_t head_len = op == 0 ? 1 : 4;
    FuzzBytes answer;
    if (op_byte & 0x80) {
        while (in.left() > 0) {
            FuzzBytes packet;
            if (op_byte & 0x40) packet.assign(head, head + head_len);
            FuzzBytes body = in.bytes(in.u16() % 300);
            packet.insert(packet.end(), body.begin(), body.end());
            FuzzBytes wire = framed(packet);
            answer.insert(answer.end(), wire.begin(), wire.end());
        }
    } else {
        answer = in.rest();
    }
    int flags = 0;
    for (uint8_t b : answer)
        flags += b == 0x7E;
    if (flags > kMaxFlags) return 0;  // more packets than the list keeps: not this target's case
    // The card's closing word: a flag ends whatever came before, then an error answer that
    // echoes a command no request uses.
    FuzzBytes closing = {0x7E};
    FuzzBytes end = framed({0x13, 0xEE});
    closing.insert(closing.end(), end.begin(), end.end());
    FuzzBytes stream = answer;
    stream.insert(stream.end(), closing.begin(), closing.end());

    int sp[2];
    FUZZ_CHECK(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sp) == 0);
    g_diag.port_fd = sp[0];
    FUZZ_CHECK(diag_reader_start(sp[0]) == 0);
    Card card = {sp[1], stream};
    pthread_t thread;
    FUZZ_CHECK(pthread_create(&thread, nullptr, card_thread, &card) == 0);

    std::vector<FuzzBytes> frames = good_frames(answer);
    switch (op) {
        case 0: {
            uint8_t out[kDiagVersionPayloadSize];
            int s = Diag_Get_Software_Version(out);
            FUZZ_CHECK(transaction_status(s));
            if (s == kDiagOk) FUZZ_CHECK(carried(frames, head, 1, 55, 1, out, sizeof out));
            break;
        }
        case 1: {
            uint8_t out[kDiagDeviceInfoSize];
            int s = Diag_Read_Device_Info(out);
            FUZZ_CHECK(transaction_status(s));
            if (s == kDiagOk) FUZZ_CHECK(carried(frames, head, 4, 104, 4, out, sizeof out));
            break;
        }
        case 2: {
            gps_raw_position raw;
            int s = DiagGPSGetLastKnownPosition(&raw);
            FUZZ_CHECK(transaction_status(s));
            if (s != kDiagOk) break;
            uint8_t lat[8];
            memcpy(lat, &raw.latitude, 4);
            memcpy(lat + 4, &raw.longitude, 4);
            bool found = false;
            for (const FuzzBytes &f : frames)
                found = found || (f.size() >= 36 && memcmp(f.data(), head, 4) == 0 &&
                                  le32(&f[4]) == static_cast<uint32_t>(raw.latitude) &&
                                  le32(&f[8]) == static_cast<uint32_t>(raw.longitude) &&
                                  le32(&f[12]) == raw.timestamp && le32(&f[20]) == raw.mask);
            FUZZ_CHECK(found);
            gps_fix fix;
            FUZZ_CHECK(GetStdGPSFix(&fix, &raw) == 0);
            FUZZ_CHECK(std::isfinite(fix.latitude) && std::fabs(fix.latitude) <= 11520.0);
            FUZZ_CHECK(std::isfinite(fix.longitude) && std::fabs(fix.longitude) <= 11520.0);
            FUZZ_CHECK(std::isfinite(fix.horizontal_speed) && std::isfinite(fix.vertical_speed) &&
                       std::isfinite(fix.heading) && std::isfinite(fix.uncertainty_angle) &&
                       !std::isnan(fix.uncertainty_along) &&
                       !std::isnan(fix.uncertainty_perpendicular) &&
                       !std::isnan(fix.uncertainty_vertical));
            break;
        }
        case 3: {
            uint32_t pair[2] = {1, 2}, result = 0xDEADBEEF;
            int s = DiagConfigureGPS(pair, &result);
            FUZZ_CHECK(transaction_status(s) || s == kGpsConfigRejected);
            break;
        }
        default: {
            gps_session_block block;
            FUZZ_CHECK(DiagPrepareDefaultGpsSessionStartPacket(&block, 1, 2) == 0);
            uint32_t result = 0;
            int s = DiagStartGPS(&block, &result);
            FUZZ_CHECK(transaction_status(s));
            break;
        }
    }
    pthread_join(thread, nullptr);
    diag_reader_stop();
    diag_reader_join();
    g_diag.port_fd = -1;
    close(sp[0]);
    close(sp[1]);
    return 0;
}
