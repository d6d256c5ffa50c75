#include "soak/soak_util.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/msg.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "common/msgcmd.h"
#include "platform/env.h"
#include "tests/support/testsupport.h"

int soak_verdict(bool pass, const std::string &name, const std::string &text) {
    printf("%s %s soak: %s\n", pass ? "PASS" : "FAIL", name.c_str(), text.c_str());
    fflush(stdout);
    return pass ? 0 : 1;
}

long soak_rss_kib(pid_t pid) {
    std::string status = testsupport::read_file("/proc/" + std::to_string(pid) + "/status");
    size_t at = status.find("VmRSS:");
    if (at == std::string::npos) return -1;
    return atol(status.c_str() + at + 6);
}

bool soak_queue_serving(int key, int timeout_ms) {
    int own_key = testsupport::unused_ipc_key();
    int own = msgget(own_key, IPC_CREAT | IPC_EXCL | 0600);
    if (own < 0) return false;
    bool serving = testsupport::wait_until(
        [&] {
            int server = msgget(key, 0);
            if (server < 0) return false;
            msgcmd m{};
            m.mtype = 1;
            msgcmd_set_keyid(m, own_key);
            msgcmd_set_cmd(m, 999);
            msgcmd_set_len(m, kMsgcmdLenBase + 4);
            if (msgsnd(server, &m, kMsgcmdMinText, IPC_NOWAIT) != 0) return false;
            for (int i = 0; i < 40; ++i) {
                if (msgrcv(own, &m, kMsgcmdTextSize, 0, IPC_NOWAIT | MSG_NOERROR) >= 0) return true;
                env_sleep_ms(5);
            }
            return false;
        },
        timeout_ms);
    msgctl(own, IPC_RMID, nullptr);
    return serving;
}
