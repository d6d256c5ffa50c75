#include "bench/raw_pingpong.h"

#include <sys/msg.h>
#include <sys/wait.h>
#include <unistd.h>

#include "bench/bench_util.h"
#include "common/msgcmd.h"

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
