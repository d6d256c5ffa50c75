// One DIAG request transaction (the last GPS position) from this process's engine to the
// simulated card over a pseudo-terminal and back.
//   diag_roundtrip_bench [COUNT]
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "bench/diag_card_bench.h"
#include "modemd/diag/diag_loader.h"
#include "modemd/diag/gps.h"
#include "tests/support/testsupport.h"

using namespace testsupport;

int main(int argc, char **argv) {
    int count = argc > 1 ? atoi(argv[1]) : 2000;
    TempRouterRoot root;
    pid_t card = bench_start_diag_card(root, "position lat=8388608");
    if (card < 0) return 1;
    std::vector<uint64_t> ns;
    gps_raw_position raw;
    for (int i = -100; i < count; ++i) {  // the first 100 warm up
        uint64_t t0 = bench_now_ns();
        if (DiagGPSGetLastKnownPosition(&raw) != 0) {
            fprintf(stderr, "request failed\n");
            break;
        }
        if (i >= 0) ns.push_back(bench_now_ns() - t0);
    }
    (void)ShutdownLoader();
    stop_child(card);
    LatencySummary s = summarize(ns);
    char text[64];
    snprintf(text, sizeof text, "%.1f us (p99 %.1f)", s.median_us, s.p99_us);
    bench_row("DIAG transaction to the simulated card (pty), median", text, "");
    return ns.empty() ? 1 : 0;
}
