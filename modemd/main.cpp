// modemd: owns the cellular card's control port and answers command messages posted on the
// System V queue (key 23232, or MODEMD_QUEUE_KEY).
//   modemd [-d] [-w CAPTURE] -t sierra_module|kpc650|novatel|cdu -f PORT
// -w writes what passes on the card's port to the file CAPTURE (modemd/port_capture.h).
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/ipc_key.h"
#include "common/msgcmd.h"
#include "common/pcap_file.h"
#include "modemd/cnsport.h"
#include "modemd/globals.h"
#include "modemd/msgqueue.h"
#include "modemd/port_capture.h"
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

// How the selected family frames what passes on its port.
uint8_t capture_framing() {
    const char *name = cnsport_ctx->name;
    if (strcmp(name, "sierra_module") == 0) return kPcapCns;
    if (strcmp(name, "kpc650") == 0) return kPcapKpc650;
    if (strcmp(name, "cdu") == 0) return kPcapCdu;
    return kPcapDiag;
}

}  // namespace

int main(int argc, char **argv) {
    setvbuf(stdout, nullptr, _IOLBF, 0);
    program = argv[0];
    printf("\n%s build on %s %s\n", program, __DATE__, __TIME__);

    const char *port = nullptr;
    const char *capture = nullptr;
    opterr = 0;
    int opt;
    while ((opt = getopt(argc, argv, "df:t:w:")) != -1) {
        switch (opt) {
            case 'd':
                debug = 1;
                break;
            case 'f':
                port = optarg;
                break;
            case 'w':
                capture = optarg;
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
    // Before the port is opened, so the family's first exchanges are in it. A capture that
    // cannot be written is reported and left out; the card is served all the same.
    if (capture) (void)port_capture_open(capture, capture_framing(), kPortCaptureMaxBytes);
    if (cnsport_open(port) < 0) {
        printf("cnsport_open %s fail .... \n", port);
        return 1;
    }
    (void)msgqueue_open(key);  // without a queue the daemon still owns the card
    do_fd();
    return 0;
}
