#include "statpipe/statpipe.h"

#include <fcntl.h>
#include <getopt.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/bytes.h"
#include "platform/console.h"
#include "platform/eventloop.h"
#include "platform/nvram.h"
#include "platform/router_root.h"
#include "statpipe/cnsutil/cnsutil.h"

int fdCns = -1;
int fdCmd = -1;
int fdRsp = -1;

namespace {

constexpr char cnsdev[] = "/dev/usb/tts/1";
constexpr char tmpCmd[] = "/tmp/cnscmd";
constexpr char tmpRsp[] = "/tmp/cnsrsp";
constexpr int kMinCommand = 14;
constexpr int kWindowAt = 9;  // bytes 9 to 12 of a frame
constexpr int kWindowLen = 4;
constexpr int kObjectAt = 4;
constexpr uint16_t kEsnObject = 0x1000;
constexpr uint8_t kNotifyWindow[kWindowLen] = {0, 0, 0, 0};

uint8_t g_window[kWindowLen] = {0xFF, 0xFF, 0xFF, 0xFF};

// Lines a card or a pipe writer can provoke at will go through the console's rate limit.
#define SAY(...)                                      \
    do {                                              \
        console_fprintf_limited(stdout, __VA_ARGS__); \
        fflush(stdout);                               \
    } while (0)

void usage() {
    printf("usage: statpipe [-d] \n   -f: do not fork from the shell.\n");
    fflush(stdout);
}

// Removes a stale pipe, makes a fresh one and opens it read/write (no wait for a peer), never
// blocking: a full response pipe drops a frame rather than wedging the relay.
int open_pipe(const char *system_path) {
    RouterPath p(system_path);
    if (!p.ok()) return -1;
    if (unlink(p.c_str()) < 0 && errno != ENOENT) return -1;
    if (mkfifo(p.c_str(), 0700) < 0) return -1;
    return open(p.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
}

void remove_pipe(int *fd, const char *system_path) {
    if (*fd < 0) return;
    close(*fd);
    *fd = -1;
    RouterPath p(system_path);
    if (p.ok()) unlink(p.c_str());
}

void close_port() {
    if (fdCns < 0) return;
    (void)unregister_fd_desc(fdCns);  // -1 when it was never registered: nothing to undo
    close(fdCns);
    fdCns = fd_send = fd_recv = -1;
    cns_forget();
}

void publish_esn() {
    uint32_t esn;
    if (cns_get_int32(&esn, kEsnObject) != 4) return;  // the key keeps what it had
    char text[16];
    snprintf(text, sizeof text, "%08x", esn);
    if (nvram_set("wan0_wwan_sn", text) < 0) console_printf("statpipe: cannot set wan0_wwan_sn\n");
}

void relay_frame(const uint8_t *frame, int n) {
    if (n < kWindowAt + kWindowLen) return;  // no window to judge it by
    const uint8_t *window = frame + kWindowAt;
    if (memcmp(window, kNotifyWindow, kWindowLen) == 0) {
        if (get_be16(frame + kObjectAt) == 0) SAY("Got Heart Beat from modem\n");
        return;
    }
    if (memcmp(window, g_window, kWindowLen) != 0) {
        SAY("app_id Mismatch: %02x%02x%02x%02x != %08x", window[0], window[1], window[2], window[3],
            get_be32(g_window));
        return;
    }
    if (fdRsp < 0 || write(fdRsp, frame, static_cast<size_t>(n)) != n)
        SAY("Error writing response to pipe!\n");
}

}  // namespace

int statpipe_options(int argc, char **argv) {
    optind = 1;
    opterr = 0;
    int c;
    while ((c = getopt(argc, argv, "fhd")) != -1) {
        if (c != 'f' && c != 'd') {
            usage();
            return 1;
        }
    }
    if (optind < argc) {
        usage();
        return 1;
    }
    return 0;
}

int statpipe_start(void) {
    RouterPath dev(cnsdev);
    fdCns = dev.ok() ? open(dev.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC) : -1;
    if (fdCns < 0) {
        printf("Failed to open CnS device %s\n", cnsdev);
        fflush(stdout);
        statpipe_cleanup();
        return 255;
    }
    fd_send = fd_recv = fdCns;
    fdCmd = open_pipe(tmpCmd);
    if (fdCmd < 0) {
        printf("Failed to open pipe for CnS Cmd: %s\n", tmpCmd);
        fflush(stdout);
        statpipe_cleanup();
        return 255;
    }
    fdRsp = open_pipe(tmpRsp);
    if (fdRsp < 0) {
        printf("Failed to open pipe for CnS Rsp: %s\n", tmpRsp);
        fflush(stdout);
        statpipe_cleanup();
        return 255;
    }
    if (register_fd_desc(fdCmd, statpipe_command, nullptr) < 0) {
        statpipe_cleanup();
        return 255;
    }
    publish_esn();
    if (register_fd_desc(fdCns, statpipe_answer, nullptr) < 0) {
        statpipe_cleanup();
        return 255;
    }
    return 0;
}

void statpipe_cleanup(void) {
    close_port();
    if (fdCmd >= 0) (void)unregister_fd_desc(fdCmd);  // as for the port
    remove_pipe(&fdCmd, tmpCmd);
    remove_pipe(&fdRsp, tmpRsp);
}

int statpipe_command(struct fd_desc *desc) {
    uint8_t frame[kCnsFrameMax];
    ssize_t n = read(desc->fd, frame, sizeof frame);
    if (n < 0) return 0;  // nothing after all (another reader took it)
    if (n < kMinCommand) {
        SAY("Invalid command !\n");
        return 0;
    }
    memcpy(g_window, frame + kWindowAt, kWindowLen);
    if (cns_send(fdCns, frame, static_cast<int>(n), g_window) < n)
        SAY("Error writing command to modem!\n");
    return 0;
}

int statpipe_answer(struct fd_desc *) {
    uint8_t frame[kCnsFrameMax];
    // Every whole frame one read brought is handled now: a heartbeat glued to an answer must
    // not wait for the card's next write.
    do {
        int n = cns_recv(fdCns, frame, sizeof frame);
        if (n <= 0) {
            SAY("Error reading response or notification!\n");
            // A card that is gone keeps the port readable: stop watching it. The monitor
            // runs on; later commands fail to be written.
            if (n < 0) close_port();
            return -1;
        }
        relay_frame(frame, n);
    } while (cns_frame_buffered());
    return 0;
}
