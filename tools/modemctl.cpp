// modemctl: asks modemd one command over its queue and prints the answer.
//   modemctl [-k KEY] [-t SECONDS] COMMAND [HEXDATA]
// COMMAND is a number or one of the names below. Exit status: 0 answered with result 0;
// 1 result 1 (the command failed); 2 result 2 (no handler); 3 no answer in time; 4 usage or
// queue trouble.
#include <signal.h>
#include <sys/msg.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/ipc_key.h"
#include "tools/modem_client.h"
#include "tools/modemctl_format.h"

namespace {

volatile sig_atomic_t g_reply_qid = -1;

// Ctrl-C and friends: the private queue must not outlive us.
void on_signal(int sig) {
    if (g_reply_qid >= 0) msgctl(g_reply_qid, IPC_RMID, nullptr);
    _exit(128 + sig);
}

int usage() {
    fprintf(stderr,
            "usage: modemctl [-k KEY] [-t SECONDS] COMMAND [HEXDATA]\n"
            "  COMMAND: a number, or esn rssi band activation service phone sms-status\n"
            "           sms-read raw gps\n"
            "  KEY: modemd's queue key (default MODEMD_QUEUE_KEY, else 23232)\n");
    return 4;
}

}  // namespace

int main(int argc, char **argv) {
    int key = ipc_key_from_env("MODEMD_QUEUE_KEY", kModemdQueueKey);
    if (key < 0) {
        fprintf(stderr, "modemctl: bad MODEMD_QUEUE_KEY \"%s\"\n", getenv("MODEMD_QUEUE_KEY"));
        return 4;
    }
    int timeout = 30;
    int opt;
    while ((opt = getopt(argc, argv, "k:t:")) != -1) {
        char *end = nullptr;
        switch (opt) {
            case 'k':
                if (!ipc_key_parse(optarg, &key)) return usage();
                break;
            case 't':
                timeout = static_cast<int>(strtol(optarg, &end, 10));
                if (*end || end == optarg || timeout <= 0) return usage();
                break;
            default:
                return usage();
        }
    }
    if (optind >= argc || argc - optind > 2) return usage();
    int cmd = modemctl_command_number(argv[optind]);
    if (cmd < 0) return usage();
    uint8_t data[kMsgcmdDataMax];
    int len = 0;
    if (optind + 1 < argc) {
        len = modemctl_parse_hex(argv[optind + 1], data, sizeof data);
        if (len < 0) {
            fprintf(stderr, "modemctl: HEXDATA must be pairs of hex digits, at most %zu bytes\n",
                    kMsgcmdDataMax);
            return 4;
        }
    }

    ModemClient client;
    if (modem_client_open(&client, key) < 0) {
        fprintf(stderr, "modemctl: cannot create a reply queue: %s\n", strerror(errno));
        return 4;
    }
    g_reply_qid = client.reply_qid;
    struct sigaction sa = {};
    sa.sa_handler = on_signal;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);

    ModemReply reply;
    int rc = modem_client_call(&client, static_cast<uint16_t>(cmd), data, static_cast<size_t>(len),
                               timeout, &reply);
    int err = errno;
    modem_client_close(&client);
    g_reply_qid = -1;
    if (rc < 0) {
        if (err == ENOENT) {
            fprintf(stderr, "modemctl: no modemd queue with key %d\n", key);
            return 4;
        }
        if (err == ETIMEDOUT) {
            fprintf(stderr, "modemctl: no answer from modemd within %d s\n", timeout);
            return 3;
        }
        fprintf(stderr, "modemctl: %s\n", strerror(err));
        return 4;
    }
    modemctl_print_reply(stdout, cmd, reply);
    fflush(stdout);  // the answer first, then any complaint on standard error
    if (reply.result == kResultFailed) {
        fprintf(stderr, "modemctl: command %d failed (result 1)\n", cmd);
        return 1;
    }
    if (reply.result != kResultOk) {
        fprintf(stderr, "modemctl: modemd has no handler for command %d (result %u)\n", cmd,
                reply.result);
        return 2;
    }
    return 0;
}
