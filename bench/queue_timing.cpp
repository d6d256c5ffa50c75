#include "bench/queue_timing.h"

#include <sys/msg.h>
#include <sys/wait.h>
#include <unistd.h>

#include "bench/bench_util.h"
#include "common/msgcmd.h"
#include "tests/support/testsupport.h"

std::vector<uint64_t> raw_pingpong(int count) {
    int req = msgget(IPC_PRIVATE, IPC_CREAT | 0600), rep = msgget(IPC_PRIVATE, IPC_CREAT | 0600);
    pid_t echo = fork();
    if (echo == 0) {
        msgcmd m;
        for (;;) {
            ssize_t n = msgrcv(req, &m, kMsgcmdTextSize, 0, 0);
            if (n < 0 || msgsnd(rep, &m, static_cast<size_t>(n), 0) < 0) _exit(0);
        }
    }
    std::vector<uint64_t> ns;
    msgcmd m{};
    m.mtype = 1;
    for (int i = 0; i < count; ++i) {
        uint64_t t0 = bench_now_ns();
        msgsnd(req, &m, 24, 0);
        msgrcv(rep, &m, kMsgcmdTextSize, 0, 0);
        ns.push_back(bench_now_ns() - t0);
    }
    msgctl(req, IPC_RMID, nullptr);
    msgctl(rep, IPC_RMID, nullptr);
    waitpid(echo, nullptr, 0);
    return ns;
}

ModemdTiming time_modemd_command(const std::string &family, const std::string &port, uint16_t cmd,
                                 int count) {
    using namespace testsupport;
    TempRouterRoot root;
    int key = unused_ipc_key();
    SpawnOptions o;
    o.env = {"MODEMD_QUEUE_KEY=" + std::to_string(key)};
    o.stdout_path = "/dev/null";
    pid_t daemon = spawn_program("modemd", {"-t", family, "-f", port}, o);
    int reply_key = unused_ipc_key();
    int reply = msgget(reply_key, IPC_CREAT | IPC_EXCL | 0600);
    ModemdTiming t;
    t.started = wait_until([&] { return msgget(key, 0) >= 0; }, 20000);
    if (t.started) {
        int server = msgget(key, 0);
        msgcmd m{};
        for (int i = -100; i < count; ++i) {  // the first 100 warm up
            m.mtype = 1;
            msgcmd_set_keyid(m, reply_key);
            msgcmd_set_cmd(m, cmd);
            msgcmd_set_len(m, 16);
            uint64_t t0 = bench_now_ns();
            msgsnd(server, &m, 24, 0);
            msgrcv(reply, &m, kMsgcmdTextSize, 0, 0);
            if (i < 0) continue;
            t.ns.push_back(bench_now_ns() - t0);
            if (msgcmd_result(m) != kResultOk) ++t.not_ok;
        }
    }
    msgctl(reply, IPC_RMID, nullptr);
    stop_child(daemon);
    int q = msgget(key, 0);
    if (q >= 0) msgctl(q, IPC_RMID, nullptr);
    return t;
}
