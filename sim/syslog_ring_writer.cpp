#include "sim/syslog_ring_writer.h"

#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/shm.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "common/bytes.h"

namespace {

constexpr size_t kHeader = 12;

uint8_t *data(RingWriter *w) {
    return w->ring + kHeader;
}

void set_head(RingWriter *w, uint32_t v) {
    put_host32(w->ring + 4, v);
}
void set_tail(RingWriter *w, uint32_t v) {
    put_host32(w->ring + 8, v);
}

int semop_retry(int semid, sembuf *ops, size_t n) {
    int rc;
    do {
        rc = semop(semid, ops, n);
    } while (rc < 0 && errno == EINTR);
    return rc;
}

// The writer lock: wait until no reader holds the ring (semaphore 0 zero), then raise
// semaphore 1 so that no reader starts meanwhile.
void lock(RingWriter *w) {
    sembuf ops[2] = {{0, 0, 0}, {1, 1, SEM_UNDO}};
    semop_retry(w->semid, ops, 2);
}
void unlock(RingWriter *w) {
    sembuf ops[1] = {{1, -1, SEM_UNDO}};
    semop_retry(w->semid, ops, 1);
}

uint32_t used_bytes(RingWriter *w) {
    return (ring_tail(w) + w->size - ring_head(w)) % w->size;
}

// Drops the oldest string.
void drop_oldest(RingWriter *w) {
    uint32_t head = ring_head(w);
    size_t n = strnlen(reinterpret_cast<char *>(data(w) + head), w->size - head);
    uint32_t next = head + static_cast<uint32_t>(n) + 1;
    set_head(w, next >= w->size ? 0 : next);
}

void write_string(RingWriter *w, const char *s) {
    uint32_t need = static_cast<uint32_t>(strlen(s)) + 1;
    for (;;) {
        uint32_t tail = ring_tail(w);
        uint32_t pad = tail + need > w->size ? w->size - tail : 0;
        if (used_bytes(w) + pad + need < w->size) break;  // one byte always stays free
        if (used_bytes(w) == 0) {  // empty, but the string fits only from the start
            set_head(w, 0);
            set_tail(w, 0);
            continue;
        }
        drop_oldest(w);
    }
    uint32_t tail = ring_tail(w);
    if (tail + need > w->size) {
        memset(data(w) + tail, 0, w->size - tail);
        tail = 0;
    }
    memcpy(data(w) + tail, s, need);
    tail += need;
    set_tail(w, tail >= w->size ? 0 : tail);
}

}  // namespace

int ring_create(RingWriter *w, int key, uint32_t size) {
    if (size < 16) return -1;
    int old = shmget(key, 0, 0);
    if (old >= 0) shmctl(old, IPC_RMID, nullptr);
    int old_sem = semget(key, 0, 0);
    if (old_sem >= 0) semctl(old_sem, 0, IPC_RMID);
    w->key = key;
    w->size = size;
    w->shmid = shmget(key, kHeader + size, IPC_CREAT | IPC_EXCL | 0600);
    if (w->shmid < 0) return -1;
    void *at = shmat(w->shmid, nullptr, 0);
    w->semid = semget(key, 2, IPC_CREAT | IPC_EXCL | 0600);
    if (at == reinterpret_cast<void *>(-1) || w->semid < 0) {
        if (at != reinterpret_cast<void *>(-1)) shmdt(at);
        ring_destroy(w);
        return -1;
    }
    w->ring = static_cast<uint8_t *>(at);
    memset(w->ring, 0, kHeader + size);
    put_host32(w->ring, size);
    return 0;
}

void ring_destroy(RingWriter *w) {
    if (w->ring) shmdt(w->ring);
    if (w->shmid >= 0) shmctl(w->shmid, IPC_RMID, nullptr);
    if (w->semid >= 0) semctl(w->semid, 0, IPC_RMID);
    w->ring = nullptr;
    w->shmid = w->semid = -1;
}

int ring_append(RingWriter *w, const char *const *parts, int nparts) {
    for (int i = 0; i < nparts; ++i)
        if (strlen(parts[i]) + 2 > w->size) return -1;
    lock(w);
    for (int i = 0; i < nparts; ++i)
        write_string(w, parts[i]);
    unlock(w);
    return 0;
}

int ring_log(RingWriter *w, const char *text, char tag, char sep) {
    std::string line = std::string("0") + tag + text + "\n";
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t i = 0; sep && i < line.size(); ++i) {
        if (line[i] != sep) continue;
        parts.push_back(line.substr(start, i - start));
        start = i + 1;
    }
    parts.push_back(line.substr(start));
    std::vector<const char *> ptrs;
    for (const std::string &p : parts)
        ptrs.push_back(p.c_str());
    return ring_append(w, ptrs.data(), static_cast<int>(ptrs.size()));
}

int ring_place(RingWriter *w, uint32_t offset) {
    if (offset >= w->size || ring_head(w) != ring_tail(w)) return -1;
    lock(w);
    memset(data(w), 0, w->size);
    set_head(w, offset);
    set_tail(w, offset);
    unlock(w);
    return 0;
}

void ring_set_header(RingWriter *w, uint32_t size, uint32_t head, uint32_t tail) {
    put_host32(w->ring, size);
    set_head(w, head);
    set_tail(w, tail);
}

uint32_t ring_head(const RingWriter *w) {
    return get_host32(w->ring + 4);
}

uint32_t ring_tail(const RingWriter *w) {
    return get_host32(w->ring + 8);
}
