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
#include "bench/raw_pingpong.h"
#include "common/msgcmd.h"
#include "sim/cardsim/cardsim_thread.h"
#include "tests/support/testsupport.h"

namespace {

using namespace testsupport;

std::vector<uint64_t> rssi_roundtrip(int count, int *failures) {
    TempRouterRoot root;
    cardsim::CardSimThread card(cardsim::Family::kSierra);
    int key = unused_ipc_key();
    SpawnOptions o;
    o.env = {"MODEMD_QUEUE_KEY=" + std::to_string(key)};
    o.stdout_path = "/dev/null";
    pid_t daemon = spawn_program("modemd", {"-t", "sierra_module", "-f", card.slave()}, o);
    int reply_key = unused_ipc_key();
    int reply = msgget(reply_key, IPC_CREAT | IPC_EXCL | 0600);
    std::vector<uint64_t> ns;
    *failures = 0;
    if (!card.ok() || !wait_until([&] { return msgget(key, 0) >= 0; }, 20000)) {
        fprintf(stderr, "modemd did not start\n");
    } else {
        int server = msgget(key, 0);
        msgcmd m{};
        for (int i = -100; i < count; ++i) {  // the first 100 warm up
            m.mtype = 1;
            msgcmd_set_keyid(m, reply_key);
            msgcmd_set_cmd(m, 2);
            msgcmd_set_len(m, 16);
            uint64_t t0 = bench_now_ns();
            msgsnd(server, &m, 24, 0);
            msgrcv(reply, &m, kMsgcmdTextSize, 0, 0);
            if (i >= 0) ns.push_back(bench_now_ns() - t0);
            if (msgcmd_result(m) != kResultOk) ++*failures;
        }
    }
    msgctl(reply, IPC_RMID, nullptr);
    stop_child(daemon);
    int q = msgget(key, 0);
    if (q >= 0) msgctl(q, IPC_RMID, nullptr);
    return ns;
}

}  // namespace

int main(int argc, char **argv) {
    int count = argc > 1 ? atoi(argv[1]) : 3000;
    LatencySummary raw = summarize(raw_pingpong(count));
    int failures = 0;
    LatencySummary rssi = summarize(rssi_roundtrip(count, &failures));
    char text[64];
    snprintf(text, sizeof text, "%.1f us (p99 %.1f)", raw.median_us, raw.p99_us);
    bench_row("raw System V ping-pong (same run), median", text, "reference");
    snprintf(text, sizeof text, "%.1f us (p99 %.1f)", rssi.median_us, rssi.p99_us);
    bench_row("sierra command 2 via pty card, median", text, "");
    snprintf(text, sizeof text, "%d of %d", failures, count);
    bench_row("sierra command 2: answers other than result 0", text, "0");
    return 0;
}
