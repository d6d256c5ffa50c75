// Command round trip through modemd (a command without handler, answered with result 2),
// against a raw System V ping-pong between two processes measured in the same run.
//   roundtrip_bench [COUNT]
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
#include "tests/support/testsupport.h"

int main(int argc, char **argv) {
    int count = argc > 1 ? atoi(argv[1]) : 20000;
    LatencySummary raw = summarize(raw_pingpong(count));
    testsupport::Pty pty;  // a card slot with nothing behind it: the command has no handler
    ModemdTiming timing = time_modemd_command("kpc650", pty.slave, 999, count);
    if (!timing.started) fprintf(stderr, "modemd did not start\n");
    LatencySummary daemon = summarize(timing.ns);
    char text[64];
    snprintf(text, sizeof text, "%.1f us (p99 %.1f)", raw.median_us, raw.p99_us);
    bench_row("raw System V ping-pong, median", text, "reference");
    snprintf(text, sizeof text, "%.1f us (p99 %.1f)", daemon.median_us, daemon.p99_us);
    bench_row("modemd command round trip (result 2), median", text, "");
    snprintf(text, sizeof text, "%.2f x",
             raw.median_us > 0 ? daemon.median_us / raw.median_us : 0.0);
    bench_row("modemd / raw", text, "<= 2 x");
    return 0;
}
