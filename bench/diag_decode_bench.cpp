// Decoding and checking a long stream of DIAG frames, as the reader thread does (4096-byte
// reads), against a plain byte-at-a-time reference decoder (unescape, then table CRC)
// measured in the same run.
//   diag_decode_bench [MEGABYTES]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "bench/bench_util.h"
#include "common/stuffing.h"
#include "modemd/diag/diag_hdlc.h"

namespace {

// A stream of frames of 8 to 600 random bytes, as the card would send them.
std::vector<uint8_t> make_stream(size_t bytes, size_t *frames) {
    std::mt19937 rng(20080101);
    std::vector<uint8_t> stream;
    std::vector<uint8_t> packet, wire;
    *frames = 0;
    while (stream.size() < bytes) {
        packet.resize(8 + rng() % 593);
        for (uint8_t &b : packet)
            b = static_cast<uint8_t>(rng());
        wire.resize(stuff_frame_max(packet.size(), kStuffFcs));
        int n = stuff_frame(packet.data(), packet.size(), kStuffFcs, wire.data(), wire.size());
        stream.insert(stream.end(), wire.begin(), wire.begin() + n);
        ++*frames;
    }
    return stream;
}

size_t g_good;
void count_good(void *, const uint8_t *, size_t, bool good) {
    g_good += good;
}

size_t engine_decode(const std::vector<uint8_t> &stream) {
    static diag_rx_buffer buf;
    diag_rx_reset(&buf);
    g_good = 0;
    for (size_t pos = 0; pos < stream.size(); pos += kDiagReadSize) {
        size_t n = stream.size() - pos < kDiagReadSize ? stream.size() - pos : kDiagReadSize;
        diag_rx_decode(&buf, stream.data() + pos, n, count_good, nullptr);
    }
    return g_good;
}

// The reference: one byte at a time into the frame, then the classic table CRC over it.
struct ReferenceTable {
    uint16_t v[256];
    ReferenceTable() {
        for (unsigned b = 0; b < 256; ++b) {
            uint16_t c = static_cast<uint16_t>(b);
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? static_cast<uint16_t>((c >> 1) ^ 0x8408) : c >> 1;
            v[b] = c;
        }
    }
};

size_t reference_decode(const std::vector<uint8_t> &stream) {
    static const ReferenceTable table;
    static uint8_t frame[kDiagFrameCap];
    size_t len = 0, good = 0;
    bool escape = false;
    for (size_t pos = 0; pos < stream.size(); ++pos) {
        uint8_t b = stream[pos];
        if (escape) {
            frame[len++] = b ^ 0x20;
            escape = false;
        } else if (b == 0x7D) {
            escape = true;
        } else if (b == 0x7E) {
            uint16_t crc = 0xFFFF;
            for (size_t i = 0; i < len; ++i)
                crc = static_cast<uint16_t>((crc >> 8) ^ table.v[(crc ^ frame[i]) & 0xFF]);
            good += len >= 2 && crc == 0xF0B8;
            len = 0;
        } else {
            frame[len++] = b;
        }
        if (len == kDiagFrameCap) len = 0;
    }
    return good;
}

// One pass, in MB/s of wire bytes; every frame must be found.
template <typename Decode>
double pass(const std::vector<uint8_t> &stream, size_t frames, Decode decode) {
    uint64_t t0 = bench_now_ns();
    size_t good = decode(stream);
    uint64_t ns = bench_now_ns() - t0;
    if (good != frames) {
        fprintf(stderr, "decoder found %zu of %zu frames\n", good, frames);
        exit(1);
    }
    return stream.size() / 1e6 / (ns / 1e9);
}

}  // namespace

int main(int argc, char **argv) {
    size_t megabytes = argc > 1 ? static_cast<size_t>(atoi(argv[1])) : 32;
    size_t frames = 0;
    std::vector<uint8_t> stream = make_stream(megabytes << 20, &frames);
    // Best of seven passes each, taken in turn so that both see the same machine load.
    double engine = 0, reference = 0;
    for (int run = 0; run < 7; ++run) {
        engine = std::max(engine, pass(stream, frames, engine_decode));
        reference = std::max(reference, pass(stream, frames, reference_decode));
    }
    char text[64];
    snprintf(text, sizeof text, "%.0f MB/s", engine);
    bench_row("DIAG decode + check, engine (4096-byte reads)", text, "");
    snprintf(text, sizeof text, "%.0f MB/s", reference);
    bench_row("DIAG decode + check, byte-at-a-time reference", text, "reference");
    snprintf(text, sizeof text, "%.2f x", reference > 0 ? engine / reference : 0.0);
    bench_row("DIAG decode engine / reference", text, ">= 3 x");
    return 0;
}
