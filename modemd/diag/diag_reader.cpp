#include "modemd/diag/diag_reader.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "modemd/diag/diag_dispatch.h"
#include "modemd/diag/diag_engine.h"
#include "modemd/diag/diag_events.h"
#include "modemd/diag/diag_loader.h"
#include "modemd/port_capture.h"

namespace {

struct ReaderArgs {
    int port_fd;  // the reader's own duplicate, closed when it ends
    int wake_fd;
};

// What the reader thread keeps for its whole life: the receive buffer and the area handed to
// the raw-data event.
struct ReaderBuffers {
    diag_rx_buffer rx;
    uint8_t raw_copy[kDiagReadSize];
};

// Waits until the port is readable (or hung up) or the reader is woken. True for the port.
bool wait_port(int port_fd, int wake_fd) {
    pollfd fds[2] = {{port_fd, POLLIN, 0}, {wake_fd, POLLIN, 0}};
    int n = poll(fds, 2, -1);
    return n > 0 && fds[0].revents != 0 && !g_diag.reader_stop;
}

void *read_thread(void *arg) {
    ReaderArgs args = *static_cast<ReaderArgs *>(arg);
    free(arg);
    ReaderBuffers *b = static_cast<ReaderBuffers *>(calloc(1, sizeof(ReaderBuffers)));
    if (b) {
        diag_rx_reset(&b->rx);
        while (!g_diag.reader_stop) {
            if (!wait_port(args.port_fd, args.wake_fd)) continue;
            ssize_t n = read(args.port_fd, b->rx.raw, kDiagReadSize);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                // The card is gone: stop the engine (which also tells this thread to end).
                (void)ShutdownLoader();
                continue;
            }
            b->rx.raw_len = static_cast<uint32_t>(n);
            port_capture_received(b->rx.raw, static_cast<size_t>(n));
            if (gCallbacks[kDiagEventRawData].load()) {
                std::memcpy(b->raw_copy, b->rx.raw, static_cast<size_t>(n));
                diag_raise_event(kDiagEventRawData, 0, static_cast<uint32_t>(n), b->raw_copy);
            }
            diag_rx_process(&b->rx);
        }
        free(b);
    }
    close(args.port_fd);
    diag_raise_event(kDiagEventReaderStopped, 0, 0, nullptr);
    return nullptr;
}

}  // namespace

int diag_reader_start(int port_fd) {
    int wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake < 0) return -1;
    ReaderArgs *args = static_cast<ReaderArgs *>(malloc(sizeof(ReaderArgs)));
    int own = fcntl(port_fd, F_DUPFD_CLOEXEC, 0);
    if (!args || own < 0) {
        free(args);
        if (own >= 0) close(own);
        close(wake);
        return -1;
    }
    args->port_fd = own;
    args->wake_fd = wake;
    g_diag.reader_stop = false;
    if (pthread_create(&g_diag.reader, nullptr, read_thread, args) != 0) {
        free(args);
        close(own);
        close(wake);
        return -1;
    }
    g_diag.wake_fd = wake;
    g_diag.reader_joinable = true;
    return 0;
}

void diag_reader_stop() {
    g_diag.reader_stop = true;
    if (g_diag.wake_fd >= 0) {
        uint64_t one = 1;
        ssize_t n = write(g_diag.wake_fd, &one, sizeof one);
        (void)n;  // a full counter wakes the reader just as well
    }
}

void diag_reader_join() {
    if (!g_diag.reader_joinable) return;
    pthread_join(g_diag.reader, nullptr);
    g_diag.reader_joinable = false;
    pthread_mutex_lock(&g_diag.send_mutex);
    close(g_diag.wake_fd);
    g_diag.wake_fd = -1;
    pthread_mutex_unlock(&g_diag.send_mutex);
}
