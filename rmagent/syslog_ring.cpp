#include "rmagent/syslog_ring.h"

#include <sys/sem.h>
#include <sys/shm.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "common/bytes.h"
#include "rmagent/ports.h"
#include "rmagent/trace.h"

namespace {

uint8_t *g_ring;
size_t g_ring_bytes;

struct LineState {
    char text[kLogLineRoom];
    size_t len;
    size_t first;  // ring offset of the line's first character (its sent flag)
};

// Appends the finished line to `out` if it is unreported and fits. Returns false when it
// does not fit (the walk stops there).
bool take_line(uint8_t *data, LineState &line, char *out, size_t cap, size_t *used, int *lines) {
    if (line.text[0] != '0') return true;
    if (line.text[line.len - 1] != '\n') line.text[line.len++] = '\n';  // a cut line
    size_t skip = line.len > 2 ? 2 : line.len - 1;
    size_t n = line.len - skip;
    if (*used + n + 1 > cap) return false;
    memcpy(out + *used, line.text + skip, n);
    *used += n;
    data[line.first] = '1';
    ++*lines;
    return true;
}

[[noreturn]] void fatal(const char *message) {
    rcm_debug("%s", message);
    if (g_ring) shmdt(g_ring);
    g_ring = nullptr;
    exit(1);
}

int semop_retry(int semid, sembuf *ops, size_t n) {
    int rc;
    do {
        rc = semop(semid, ops, n);
    } while (rc < 0 && errno == EINTR);
    return rc;
}

}  // namespace

int syslog_ring_collect(uint8_t *ring, size_t ring_bytes, char *out, size_t cap) {
    if (ring_bytes < kRingHeaderLen || cap < 2) return -1;
    size_t size = get_host32(ring), head = get_host32(ring + 4), tail = get_host32(ring + 8);
    if (size == 0 || size > ring_bytes - kRingHeaderLen || head >= size || tail >= size) return -1;
    uint8_t *data = ring + kRingHeaderLen;
    LineState line;
    line.len = 0;
    line.first = 0;
    size_t used = 0, walked = 0, off = head;
    int lines = 0;
    while (off != tail && lines < kMaxLogLines && walked < size) {
        const char *str = reinterpret_cast<const char *>(data + off);
        size_t slen = strnlen(str, size - off);
        if (tail > off && tail <= off + slen) break;  // the tail lies inside: not a whole string
        if (slen > 0) {
            if (line.len == 0) line.first = off;
            size_t room = kLogLineRoom - 2 - line.len;  // keeps room for a "\n" after a cut
            size_t n = slen < room ? slen : room;
            memcpy(line.text + line.len, str, n);
            line.len += n;
            if (str[slen - 1] == '\n') {
                if (!take_line(data, line, out, cap, &used, &lines)) break;
                line.len = 0;
            }
        }
        walked += slen + 1;
        off += slen + 1;
        if (off >= size) off = 0;
    }
    if (lines == 0) return 0;
    out[used] = '\0';
    return static_cast<int>(used + 1);
}

int get_system_log(char *out, size_t cap) {
    int key = rcm_syslog_key();
    if (!g_ring) {
        int shmid = shmget(key, 0, 0);
        if (shmid < 0) fatal("Can't find circular buffer");
        void *at = shmat(shmid, nullptr, 0);
        if (at == reinterpret_cast<void *>(-1))
            fatal("Can't get access to circular buffer from syslogd");
        g_ring = static_cast<uint8_t *>(at);
        shmid_ds ds;
        g_ring_bytes = shmctl(shmid, IPC_STAT, &ds) == 0 ? ds.shm_segsz : 0;
    }
    int semid = semget(key, 0, 0);
    if (semid < 0) fatal("Can't get access to semaphone(s) for circular buffer from syslogd");
    sembuf lock[2] = {{1, 0, 0}, {0, 1, SEM_UNDO}};
    if (semop_retry(semid, lock, 2) < 0) fatal("semop[SMrdn]");
    int n = syslog_ring_collect(g_ring, g_ring_bytes, out, cap);
    sembuf unlock[1] = {{0, -1, IPC_NOWAIT | SEM_UNDO}};
    if (semop_retry(semid, unlock, 1) < 0) fatal("semop[SMrup]");
    if (n < 0) {
        rcm_debug("circular buffer header out of bounds, no log taken \n");
        return 0;
    }
    return n;
}

void syslog_ring_testing_detach(void) {
    if (g_ring) shmdt(g_ring);
    g_ring = nullptr;
    g_ring_bytes = 0;
}
