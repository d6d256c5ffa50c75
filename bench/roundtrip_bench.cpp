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
#include "bench/raw_pingpong.h"
#include "common/msgcmd.h"
#include "tests/support/testsupport.h"

namespace {

using namespace testsupport;

std::vector<uint64_t> modemd_roundtrip(int count) {
    TempRouterRoot root;
    Pty pty;
    int key = unused_ipc_key();
    SpawnOptions o;
    o.env = {"MODEMD_QUEUE_KEY=" + std::to_string(key)};
    o.stdout_path = "/dev/null";
    pid_t daemon = spawn_program("modemd", {"-t", "kpc650", "-f", pty.slave}, o);
    int reply_key = unused_ipc_key();
    int reply = msgget(reply_key, IPC_CREAT | IPC_EXCL | 0600);
    std::vector<uint64_t> ns;
    if (!wait_until([&] { return msgget(key, 0) >= 0; }, 10000)) {
        fprintf(stderr, "modemd did not start\n");
    } else {
        int server = msgget(key, 0);
        msgcmd m{};
        for (int i = -100; i < count; ++i) {  // the first 100 warm up
            m.mtype = 1;
            msgcmd_set_keyid(m, reply_key);
            msgcmd_set_cmd(m, 999);
            msgcmd_set_len(m, 16);
            uint64_t t0 = bench_now_ns();
            msgsnd(server, &m, 24, 0);
            msgrcv(reply, &m, kMsgcmdTextSize, 0, 0);
            if (i >= 0) ns.push_back(bench_now_ns() - t0);
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
    int count = argc > 1 ? atoi(argv[1]) : 20000;
    LatencySummary raw = summarize(raw_pingpong(count));
    LatencySummary daemon = summarize(modemd_roundtrip(count));
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
