// NV items: one item read round trip from this process's engine to the simulated card over a
// pseudo-terminal and back (median, p99), and the MIN digit code, encode and decode of ten
// digits, per second.
//   diag_nv_bench [COUNT]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "bench/diag_card_bench.h"
#include "modemd/diag/diag_loader.h"
#include "modemd/diag/nam_items.h"
#include "modemd/diag/nam_min_code.h"
#include "tests/support/testsupport.h"

using namespace testsupport;

namespace {

int nv_round_trip(int count) {
    TempRouterRoot root;
    pid_t card = bench_start_diag_card(root, "nv 10 00 01 00");
    if (card < 0) return 1;
    std::vector<uint64_t> ns;
    uint16_t mode = 0;
    for (int i = -100; i < count; ++i) {  // the first 100 warm up
        uint64_t t0 = bench_now_ns();
        if (nam_pref_mode_get(0, &mode, nullptr) != 0) {
            fprintf(stderr, "item read failed\n");
            break;
        }
        if (i >= 0) ns.push_back(bench_now_ns() - t0);
    }
    (void)ShutdownLoader();
    stop_child(card);
    LatencySummary s = summarize(ns);
    char text[64];
    snprintf(text, sizeof text, "%.1f us (p99 %.1f)", s.median_us, s.p99_us);
    bench_row("NV item read to the simulated card (pty), median", text, "");
    return ns.empty() ? 1 : 0;
}

int min_code_rate() {
    const char *numbers[] = {"6195551234", "5550234000", "9998887777", "1230000456"};
    const int kRounds = 2000000;
    unsigned check = 0;
    uint64_t t0 = bench_now_ns();
    for (int i = 0; i < kRounds; ++i) {
        const char *n = numbers[i & 3];
        uint16_t min2 = 0;
        uint32_t min1 = 0;
        char back[10];
        if (!min2_encode(n, &min2) || !min1_encode(n + 3, &min1) || !min2_decode(min2, back) ||
            !min1_decode(min1, back + 3))
            return 1;
        check += static_cast<unsigned char>(back[i % 10]);
    }
    double seconds = static_cast<double>(bench_now_ns() - t0) / 1e9;
    char text[64];
    snprintf(text, sizeof text, "%.1f M/s", kRounds / seconds / 1e6);
    bench_row("MIN encode+decode (ten digits), per second", text, "");
    return check ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv) {
    int count = argc > 1 ? atoi(argv[1]) : 2000;
    int rc = nv_round_trip(count);
    return min_code_rate() | rc;
}
