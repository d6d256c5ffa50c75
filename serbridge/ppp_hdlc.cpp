// The user-space PPP channel: what the PPP line discipline does in the kernel, done by a
// small framing thread per bound terminal, for hosts and containers without kernel PPP.
//
//   bridge <-> chan  ==SOCK_SEQPACKET==  peer <-> framing thread <-> terminal
//
// One packet on the socket pair is one channel frame. The thread decodes what the terminal
// receives (RFC 1662 framing, common/hdlc.h) into packets and frames every packet it gets onto
// the terminal. While bound, the terminal's descriptor number stands for an eventfd that never
// becomes readable (as a terminal in the PPP discipline never reports input), and the thread
// works on a duplicate of the terminal; unbinding puts the terminal back on its number.
// When the terminal reports end of data or an error, the thread shuts its end down: a read of
// the channel then gives 0. Bad frames are dropped, counted and reported at unbinding.
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>

#include "common/hdlc.h"
#include "serbridge/log.h"
#include "serbridge/ppp_channel.h"

namespace {

constexpr int kMaxChannels = 4;  // the serial and the modem side, with room to spare

struct HdlcChannel {
    bool used;
    int chan;       // the bridge's end
    int peer;       // the thread's end
    int tty;        // the terminal's descriptor number while bound
    int tty_dup;    // the terminal itself, for the thread
    int stand_in;   // never readable: stands on `tty` while bound
    int stop;       // eventfd: written to stop the thread
    int tty_flags;  // the terminal's file status flags before binding
    bool running;
    pthread_t thread;
    HdlcDecoder decoder;
    std::atomic<uint32_t> frames_in, frames_out;
};

HdlcChannel g_channels[kMaxChannels];

HdlcChannel *find(int chan) {
    for (HdlcChannel &c : g_channels)
        if (c.used && c.chan == chan) return &c;
    return nullptr;
}

void deliver(void *ctx, const uint8_t *frame, size_t len) {
    auto *c = static_cast<HdlcChannel *>(ctx);
    // A full socket is a channel whose reader does not keep up: the frame is lost.
    if (send(c->peer, frame, len, MSG_DONTWAIT | MSG_NOSIGNAL) == static_cast<ssize_t>(len))
        c->frames_in.fetch_add(1, std::memory_order_relaxed);
}

enum class WriteResult { kDone, kFailed, kStopped };

// Writes all of `data` to the terminal, waiting while it is full.
WriteResult write_tty(HdlcChannel *c, const uint8_t *data, size_t len) {
    while (len > 0) {
        ssize_t n = write(c->tty_dup, data, len);
        if (n > 0) {
            data += n;
            len -= static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return WriteResult::kFailed;
        pollfd p[2] = {{c->tty_dup, POLLOUT, 0}, {c->stop, POLLIN, 0}};
        if (poll(p, 2, -1) < 0 && errno != EINTR) return WriteResult::kFailed;
        if (p[1].revents) return WriteResult::kStopped;
    }
    return WriteResult::kDone;
}

void *framing_thread(void *arg) {
    auto *c = static_cast<HdlcChannel *>(arg);
    static_assert(kHdlcMaxFrame < 4096);
    uint8_t in[4096];
    uint8_t frame[kHdlcMaxFrame + 1];
    uint8_t wire[hdlc_encoded_max(kHdlcMaxFrame)];
    bool tty_alive = true;
    for (;;) {
        pollfd p[3] = {
            {c->stop, POLLIN, 0}, {c->peer, POLLIN, 0}, {tty_alive ? c->tty_dup : -1, POLLIN, 0}};
        if (poll(p, 3, -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (p[0].revents) break;
        if (p[2].revents) {
            ssize_t n = read(c->tty_dup, in, sizeof in);
            if (n > 0) {
                c->decoder.feed(in, static_cast<size_t>(n), deliver, c);
            } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
                tty_alive = false;  // the line is gone: the bridge reads end of data
                shutdown(c->peer, SHUT_WR);
            }
        }
        if (p[1].revents) {
            ssize_t n = recv(c->peer, frame, sizeof frame, MSG_DONTWAIT);
            if (n == 0) break;  // the bridge closed its end
            if (n < 0) continue;
            size_t len = hdlc_encode(frame, static_cast<size_t>(n), wire, sizeof wire);
            if (len && tty_alive) {
                WriteResult r = write_tty(c, wire, len);
                if (r == WriteResult::kStopped) break;
                if (r == WriteResult::kFailed) {
                    tty_alive = false;
                    shutdown(c->peer, SHUT_WR);
                } else {
                    c->frames_out.fetch_add(1, std::memory_order_relaxed);
                }
            }
        }
    }
    return nullptr;
}

void close_if_open(int &fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

int hdlc_open_channel(bridge_ctx *ctx) {
    HdlcChannel *c = nullptr;
    for (HdlcChannel &slot : g_channels)
        if (!slot.used && !c) c = &slot;
    int sv[2];
    if (!c) {
        poe_error(ctx, "Couldn't open an HDLC channel: all %d in use", kMaxChannels);
        return -1;
    }
    if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sv) < 0) {
        poe_error(ctx, "Couldn't open an HDLC channel: %m");
        return -1;
    }
    c->used = true;
    c->chan = sv[0];
    c->peer = sv[1];
    c->tty = c->tty_dup = c->stand_in = c->stop = -1;
    c->running = false;
    return sv[0];
}

// Frees the slot; the bridge's end is closed by the caller.
void release(HdlcChannel *c) {
    close_if_open(c->peer);
    close_if_open(c->tty_dup);
    close_if_open(c->stand_in);
    close_if_open(c->stop);
    c->used = false;
}

int hdlc_establish(bridge_ctx *ctx, int tty, int chan) {
    HdlcChannel *c = find(chan);
    if (!c) {
        poe_error(ctx, "Couldn't attach to channel %d: no such HDLC channel", chan);
        return -1;
    }
    c->tty_flags = fcntl(tty, F_GETFL);
    c->tty_dup = fcntl(tty, F_DUPFD_CLOEXEC, 3);
    c->stand_in = eventfd(0, EFD_CLOEXEC);
    c->stop = eventfd(0, EFD_CLOEXEC);
    if (c->tty_flags < 0 || c->tty_dup < 0 || c->stand_in < 0 || c->stop < 0) {
        poe_error(ctx, "Couldn't set tty to PPP discipline: %m");
        release(c);
        return -1;
    }
    c->decoder.reset();
    c->frames_in = 0;
    c->frames_out = 0;
    fcntl(c->tty_dup, F_SETFL, c->tty_flags | O_NONBLOCK);
    if (dup3(c->stand_in, tty, O_CLOEXEC) < 0) {
        poe_error(ctx, "Couldn't set tty to PPP discipline: %m");
        fcntl(c->tty_dup, F_SETFL, c->tty_flags);
        release(c);
        return -1;
    }
    c->tty = tty;
    int err = pthread_create(&c->thread, nullptr, framing_thread, c);
    if (err != 0) {
        errno = err;
        poe_error(ctx, "Couldn't start the HDLC framing: %m");
        dup3(c->tty_dup, tty, O_CLOEXEC);
        fcntl(tty, F_SETFL, c->tty_flags);
        release(c);
        return -1;
    }
    c->running = true;
    return 0;
}

int hdlc_disestablish(bridge_ctx *ctx, int tty, int chan) {
    HdlcChannel *c = find(chan);
    if (!c || c->tty != tty) {
        poe_error(ctx, "Couldn't get channel number: no HDLC channel %d on %d", chan, tty);
        if (c) release(c);
        return -1;
    }
    if (c->running) {
        uint64_t one = 1;
        ssize_t ignored = write(c->stop, &one, sizeof one);
        (void)ignored;
        pthread_join(c->thread, nullptr);
        c->running = false;
    }
    int rc = 0;
    if (dup3(c->tty_dup, tty, O_CLOEXEC) < 0) {
        poe_error(ctx, "Couldn't set tty back to normal discipline: %m");
        rc = -1;
    }
    fcntl(tty, F_SETFL, c->tty_flags);
    if (c->decoder.dropped())
        loginfo("hdlc channel: %d frames in, %d out, %d bad frames dropped",
                static_cast<int>(c->frames_in.load()), static_cast<int>(c->frames_out.load()),
                static_cast<int>(c->decoder.dropped()));
    release(c);
    return rc;
}

}  // namespace

const ppp_channel_ops hdlc_ppp_channel = {"hdlc", hdlc_open_channel, hdlc_establish,
                                          hdlc_disestablish};
