// serbridge's AT phase (serbridge/at_phase.h): the host's bytes, in reads of any size. The
// line buffer never overflows, and all that goes back to the host are whole "OK" and
// "CONNECT" answers, at most one per read. A line the target knows to be a command (a fresh
// "AT..." read ending in CR) is answered as it says. The modem is taken as already up, so
// dialling goes no further than the answer.
//
// Input: mode byte (bit 0: command lines), then reads as pieces; in command mode each piece is
// the text after "AT" (printable bytes kept).
#include <strings.h>
#include <sys/socket.h>

#include <cstring>
#include <string>

#include "fuzz/fuzz_support.h"
#include "serbridge/at_phase.h"
#include "serbridge/bridge.h"

namespace {

std::string take_replies(int card) {
    std::string all;
    char buf[512];
    ssize_t n;
    while ((n = recv(card, buf, sizeof buf, MSG_DONTWAIT)) > 0)
        all.append(buf, static_cast<size_t>(n));
    return all;
}

// Splits the answers; false when anything else was written.
bool answers(const std::string &all, int *count, std::string *last) {
    size_t at = 0;
    *count = 0;
    while (at < all.size()) {
        size_t end = all.find("\r\n", at);
        if (end == std::string::npos) return false;
        *last = all.substr(at, end - at);
        if (*last != "OK" && *last != "CONNECT") return false;
        ++*count;
        at = end + 2;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz_init();
    FuzzCard serial({});
    bridge_ctx ctx = {};
    ctx.serial_fd = serial.port();
    // Both sides already up: a dial answers CONNECT and opens nothing.
    ctx.modem_fd = ctx.modem_ppp_fd = ctx.serial_ppp_fd = 1000;
    at_line.len = 0;

    FuzzInput in(data, size);
    bool commands = in.u8() & 1;
    int reads = 0;
    while (in.left() > 0 && reads < 256) {
        FuzzBytes piece = in.piece();
        std::string want;
        if (commands) {
            std::string line =
                "\x01"
                "AT";  // the control byte empties what came before
            for (uint8_t c : piece)
                if (c >= 0x20 && c < 0x7F && line.size() < 1990)
                    line.push_back(static_cast<char>(c));
            line.push_back('\r');
            piece.assign(line.begin(), line.end());
            want = strncasecmp(line.c_str() + 1, "atd", 3) == 0 ? "CONNECT" : "OK";
        }
        int r = handle_at_input(&ctx, piece.data(), static_cast<int>(piece.size()));
        ++reads;
        FUZZ_CHECK(r == 0 || r == -1);
        FUZZ_CHECK(at_line.len >= 0 && at_line.len < kAtLineSize);
        std::string got = take_replies(serial.card());
        int count = 0;
        std::string last;
        FUZZ_CHECK(answers(got, &count, &last));
        FUZZ_CHECK(count <= 1 && (count == 0 || r == 0));
        if (commands) FUZZ_CHECK(r == 0 && count == 1 && last == want);
    }
    return 0;
}
