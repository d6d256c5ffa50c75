#include "modemd/port_capture.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/frame_cut.h"
#include "common/pcap_file.h"
#include "platform/console.h"
#include "platform/env.h"

namespace {

struct Capture {
    pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
    int fd = -1;
    uint8_t framing = 0;
    size_t written = 0;
    size_t limit = 0;
    unsigned long start_ms = 0;
    char path[256] = "";
    FrameCut to_card;
    FrameCut from_card;
};

Capture g_cap;

// Stops the capture after `why`, with one console line. Called with the mutex held.
void give_up(const char *why) {
    console_printf("modemd: capture %s: %s: no longer written\n", g_cap.path, why);
    close(g_cap.fd);
    g_cap.fd = -1;
}

// Writes the pieces whole. Returns 0, or what went wrong (a short write counts as ENOSPC).
int write_all(const iovec *iov, int n, size_t total) {
    ssize_t w;
    do {
        w = writev(g_cap.fd, iov, n);
    } while (w < 0 && errno == EINTR);
    if (w < 0) return errno;
    return w == static_cast<ssize_t>(total) ? 0 : ENOSPC;
}

// Frame cutter sink: ctx is the direction. Called with the mutex held.
void write_record(void *ctx, const uint8_t *frame, size_t len) {
    if (g_cap.fd < 0) return;
    uint8_t pseudo[kPcapCardPseudoHeader] = {*static_cast<const uint8_t *>(ctx), g_cap.framing};
    uint8_t head[kPcapRecordHeaderSize];
    size_t stored = pcap_captured_len(len + sizeof pseudo) - sizeof pseudo;
    size_t total = sizeof head + sizeof pseudo + stored;
    if (g_cap.written + total > g_cap.limit) {
        char why[64];
        snprintf(why, sizeof why, "reached its limit of %zu bytes", g_cap.limit);
        give_up(why);
        return;
    }
    pcap_record_header(head, env_now_ms() - g_cap.start_ms, len + sizeof pseudo);
    iovec iov[3] = {
        {head, sizeof head}, {pseudo, sizeof pseudo}, {const_cast<uint8_t *>(frame), stored}};
    if (int err = write_all(iov, 3, total)) {
        give_up(strerror(err));
        return;
    }
    g_cap.written += total;
}

const uint8_t kDirToCard = kPcapToCard;
const uint8_t kDirFromCard = kPcapFromCard;

void feed(FrameCut *cut, const uint8_t *dir, const uint8_t *bytes, size_t len) {
    if (!bytes || len == 0) return;
    pthread_mutex_lock(&g_cap.mutex);
    if (g_cap.fd >= 0) cut->feed(bytes, len, write_record, const_cast<uint8_t *>(dir));
    pthread_mutex_unlock(&g_cap.mutex);
}

}  // namespace

int port_capture_open(const char *path, uint8_t framing, size_t max_bytes) {
    pthread_mutex_lock(&g_cap.mutex);
    if (g_cap.fd >= 0) close(g_cap.fd);
    snprintf(g_cap.path, sizeof g_cap.path, "%s", path);
    g_cap.framing = framing;
    g_cap.written = 0;
    g_cap.limit = max_bytes;
    g_cap.start_ms = env_now_ms();
    g_cap.to_card.reset(framing == kPcapCns);
    g_cap.from_card.reset(framing == kPcapCns);
    g_cap.fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    int result = 0;
    if (g_cap.fd < 0) {
        console_printf("modemd: capture %s: %s: not written\n", path, strerror(errno));
        result = -1;
    } else {
        uint8_t head[kPcapFileHeaderSize];
        pcap_file_header(head, kPcapLinkCard);
        iovec iov = {head, sizeof head};
        int err = max_bytes < sizeof head ? EFBIG : write_all(&iov, 1, sizeof head);
        if (err) {
            give_up(strerror(err));
            result = -1;
        } else {
            g_cap.written = sizeof head;
        }
    }
    pthread_mutex_unlock(&g_cap.mutex);
    return result;
}

bool port_capture_on(void) {
    pthread_mutex_lock(&g_cap.mutex);
    bool on = g_cap.fd >= 0;
    pthread_mutex_unlock(&g_cap.mutex);
    return on;
}

void port_capture_sent(const uint8_t *bytes, size_t len) {
    feed(&g_cap.to_card, &kDirToCard, bytes, len);
}

void port_capture_received(const uint8_t *bytes, size_t len) {
    feed(&g_cap.from_card, &kDirFromCard, bytes, len);
}

void port_capture_close(void) {
    pthread_mutex_lock(&g_cap.mutex);
    if (g_cap.fd >= 0) {
        g_cap.to_card.flush(write_record, const_cast<uint8_t *>(&kDirToCard));
        g_cap.from_card.flush(write_record, const_cast<uint8_t *>(&kDirFromCard));
    }
    if (g_cap.fd >= 0) close(g_cap.fd);
    g_cap.fd = -1;
    pthread_mutex_unlock(&g_cap.mutex);
}
