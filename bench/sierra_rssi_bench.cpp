// Command 2 (signal strength) round trip: client -> modemd -> simulated Sierra card over a pty
// -> client, next to a raw System V ping-pong between two processes measured in the same run.
//   sierra_rssi_bench [COUNT]
#include <sys/msg.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "bench/queue_timing.h"
#include "common/msgcmd.h"
#include "sim/cardsim/cardsim_thread.h"
#include "tests/support/testsupport.h"

int main(int argc, char **argv) {
    int count = argc > 1 ? atoi(argv[1]) : 3000;
    LatencySummary raw = summarize(raw_pingpong(count));
    cardsim::CardSimThread card(cardsim::Family::kSierra);
    ModemdTiming timing;
    if (card.ok()) timing = time_modemd_command("sierra_module", card.slave(), 2, count);
    if (!timing.started) fprintf(stderr, "modemd did not start\n");
    int failures = timing.not_ok;
    LatencySummary rssi = summarize(timing.ns);
    char text[64];
    snprintf(text, sizeof text, "%.1f us (p99 %.1f)", raw.median_us, raw.p99_us);
    bench_row("raw System V ping-pong (same run), median", text, "reference");
    snprintf(text, sizeof text, "%.1f us (p99 %.1f)", rssi.median_us, rssi.p99_us);
    bench_row("sierra command 2 via pty card, median", text, "");
    snprintf(text, sizeof text, "%d of %d", failures, count);
    bench_row("sierra command 2: answers other than result 0", text, "0");
    return 0;
}
