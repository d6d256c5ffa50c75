// modemd: owns the cellular card's control port and answers command messages posted on the
// System V queue (key 23232, or MODEMD_QUEUE_KEY).
//   modemd [-d] -t sierra_module|kpc650|novatel|cdu -f PORT
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/ipc_key.h"
#include "common/msgcmd.h"
#include "modemd/cnsport.h"
#include "modemd/globals.h"
#include "modemd/msgqueue.h"
#include "modemd/sms.h"
#include "platform/eventloop.h"

namespace {

[[noreturn]] void usage_exit() {
    printf("%s", program);
    fflush(stdout);
    exit(1);
}

// MODEMD_QUEUE_KEY: decimal, or hex with 0x. Lets several daemons share one host.
int queue_key() {
    int key = ipc_key_from_env("MODEMD_QUEUE_KEY", kModemdQueueKey);
    if (key < 0) {
        fprintf(stderr, "%s: bad MODEMD_QUEUE_KEY \"%s\"\n", program, getenv("MODEMD_QUEUE_KEY"));
        exit(1);
    }
    return key;
}

}  // namespace

int main(int argc, char **argv) {
    setvbuf(stdout, nullptr, _IOLBF, 0);
    program = argv[0];
    printf("\n%s build on %s %s\n", program, __DATE__, __TIME__);

    const char *port = nullptr;
    opterr = 0;
    int opt;
    while ((opt = getopt(argc, argv, "df:t:")) != -1) {
        switch (opt) {
            case 'd':
                debug = 1;
                break;
            case 'f':
                port = optarg;
                break;
            case 't':
                if (!parse_cnsport(optarg)) {
                    printf("bad prodid be input .... exit . \n");
                    usage_exit();
                }
                break;
            default:
                usage_exit();
        }
    }
    // Without a family there is no open function to call.
    if (optind < argc || !port || !cnsport_ctx) usage_exit();
    int key = queue_key();

    sms_init();
    if (cnsport_open(port) < 0) {
        printf("cnsport_open %s fail .... \n", port);
        return 1;
    }
    (void)msgqueue_open(key);  // without a queue the daemon still owns the card
    do_fd();
    return 0;
}
