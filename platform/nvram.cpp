#include "platform/nvram.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/console.h"
#include "platform/flash.h"
#include "platform/nvram_area.h"
#include "platform/nvram_testing.h"
#include "platform/router_root.h"

namespace {

// The working store, mapped shared by every process. Two areas: a change is written into the
// idle one and published by switching `active`, so a process killed at any instant leaves a
// whole store behind. The magic is written last when the file is first filled.
struct WorkingStore {
    char magic[4];
    uint32_t active;
    uint32_t reserved[2];
    NvramArea area[2];
};

constexpr char kMagic[4] = {'N', 'V', 'W', '1'};
constexpr char kStoreDir[] = "/tmp/nvram";
constexpr char kWorkingPath[] = "/tmp/nvram/working";
constexpr char kLockPath[] = "/tmp/nvram/lock";
constexpr char kCommitLockPath[] = "/tmp/nvram/commit.lock";
constexpr char kCommittedPath[] = "/flash/nvram";
constexpr char kCommittingPath[] = "/flash/nvram.new";

pthread_mutex_t g_mutex = PTHREAD_MUTEX_INITIALIZER;
WorkingStore *g_store;
int g_lock_fd = -1;
pid_t g_owner;  // a forked child must not share the parent's lock description

// Values handed out by nvram_get(), one per key read by this process: a chained hash table
// of malloc'd entries (no C++ runtime needed on the board). An entry lives until
// nvram_testing_forget(); its value is rewritten in place, or moved when it grows.
struct Kept {
    Kept *next;
    char *value;
    size_t room;   // bytes at `value`
    char name[1];  // the key, NUL-terminated, allocated past the end
};
constexpr size_t kKeptBuckets = 256;
Kept *g_kept[kKeptBuckets];

size_t name_hash(const char *name) {
    uint32_t h = 2166136261u;  // FNV-1a
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(name); *p; ++p)
        h = (h ^ *p) * 16777619u;
    return h % kKeptBuckets;
}

// The kept copy of `value` for `name`, or nullptr when memory runs out.
const char *keep_value(const char *name, const char *value) {
    Kept **slot = &g_kept[name_hash(name)];
    Kept *k = *slot;
    while (k && std::strcmp(k->name, name) != 0)
        k = k->next;
    if (!k) {
        size_t name_len = std::strlen(name);
        k = static_cast<Kept *>(malloc(sizeof(Kept) + name_len));
        if (!k) return nullptr;
        std::memcpy(k->name, name, name_len + 1);
        k->value = nullptr;
        k->room = 0;
        k->next = *slot;
        *slot = k;
    } else if (std::strcmp(k->value, value) == 0) {
        return k->value;
    }
    size_t need = std::strlen(value) + 1;
    if (need > k->room) {
        char *grown = static_cast<char *>(malloc(need));
        if (!grown) return nullptr;
        free(k->value);
        k->value = grown;
        k->room = need;
    }
    std::memcpy(k->value, value, need);
    return k->value;
}

void forget_kept() {
    for (Kept *&head : g_kept) {
        while (head) {
            Kept *next = head->next;
            free(head->value);
            free(head);
            head = next;
        }
    }
}

// Says once per process why the working store is out of reach: every nvram call then fails,
// and a read looks like an absent key.
bool g_said_broken;
void store_broken(const char *path, int err) {
    if (g_said_broken) return;
    g_said_broken = true;
    console_printf("nvram: working store %s: %s\n", path, strerror(err));
}

class FileLock {
  public:
    FileLock(int fd, int op) : fd_(fd) {
        while (flock(fd_, op) < 0 && errno == EINTR) {
        }
    }
    ~FileLock() { flock(fd_, LOCK_UN); }

  private:
    int fd_;
};

class MutexLock {
  public:
    MutexLock() { pthread_mutex_lock(&g_mutex); }
    ~MutexLock() { pthread_mutex_unlock(&g_mutex); }
};

const NvramArea &active_area(const WorkingStore *s) {
    return s->area[__atomic_load_n(&s->active, __ATOMIC_ACQUIRE) & 1];
}

// Loads the committed store into `area`: absent gives an empty store, damaged says so.
void load_committed(NvramArea &area) {
    area.used = 0;
    RouterPath path(kCommittedPath);
    int fd = path.ok() ? open(path.c_str(), O_RDONLY | O_CLOEXEC) : -1;
    if (fd < 0) return;
    // One byte more than the largest image, so an oversized file is seen as damaged.
    constexpr size_t kRoom = kNvramImageHeader + kNvramCapacity + 1;
    uint8_t *image = static_cast<uint8_t *>(malloc(kRoom));
    if (!image) {
        close(fd);
        return;
    }
    ssize_t total = 0;
    while (total < static_cast<ssize_t>(kRoom)) {
        ssize_t n = read(fd, image + total, kRoom - static_cast<size_t>(total));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        total += n;
    }
    close(fd);
    if (nvram_image_decode(image, static_cast<size_t>(total), area) < 0) {
        area.used = 0;
        console_printf("nvram: committed store %s is damaged, starting empty\n", kCommittedPath);
    }
    free(image);
}

WorkingStore *map_working_store() {
    RouterPath path(kWorkingPath);
    if (!path.ok()) {
        store_broken(kWorkingPath, ENAMETOOLONG);
        return nullptr;
    }
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        store_broken(path.c_str(), errno);
        return nullptr;
    }
    struct stat st;
    if (fstat(fd, &st) < 0 ||
        (st.st_size != sizeof(WorkingStore) && ftruncate(fd, sizeof(WorkingStore)) < 0)) {
        store_broken(path.c_str(), errno);
        close(fd);
        return nullptr;
    }
    void *map = mmap(nullptr, sizeof(WorkingStore), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    int map_err = errno;
    close(fd);
    if (map == MAP_FAILED) {
        store_broken(path.c_str(), map_err);
        return nullptr;
    }
    WorkingStore *s = static_cast<WorkingStore *>(map);
    if (std::memcmp(s->magic, kMagic, sizeof kMagic) != 0) {
        load_committed(s->area[0]);
        s->area[1].used = 0;
        s->active = 0;
        __atomic_thread_fence(__ATOMIC_RELEASE);
        std::memcpy(s->magic, kMagic, sizeof kMagic);
    }
    return s;
}

// Opens (once per process) the lock and the working store. Called with g_mutex held.
WorkingStore *store() {
    if (g_store && g_owner == getpid()) return g_store;
    if (g_lock_fd >= 0) close(g_lock_fd);
    g_lock_fd = -1;
    if (router_mkdirs(kStoreDir) < 0) {
        int err = errno;
        RouterPath dir(kStoreDir);
        store_broken(dir.ok() ? dir.c_str() : kStoreDir, err);
        return nullptr;
    }
    RouterPath lock_path(kLockPath);
    g_lock_fd = open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (g_lock_fd < 0) {
        store_broken(lock_path.c_str(), errno);
        return nullptr;
    }
    g_owner = getpid();
    if (!g_store) {
        FileLock lock(g_lock_fd, LOCK_EX);
        g_store = map_working_store();
    }
    return g_store;
}

int change(const char *name, const char *value) {
    if (!nvram_name_valid(name)) return -EINVAL;
    MutexLock guard;
    WorkingStore *s = store();
    if (!s) return -EIO;
    FileLock lock(g_lock_fd, LOCK_EX);
    uint32_t active = __atomic_load_n(&s->active, __ATOMIC_ACQUIRE) & 1;
    if (!value && !nvram_area_find(s->area[active], name)) return 0;
    int rc = nvram_area_rewrite(s->area[active], s->area[active ^ 1], name, value);
    if (rc < 0) return rc;
    __atomic_store_n(&s->active, active ^ 1, __ATOMIC_RELEASE);
    return 0;
}

int write_all(int fd, const uint8_t *p, size_t len) {
    while (len) {
        ssize_t n = write(fd, p, len);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return -(n < 0 ? errno : EIO);
        p += n;
        len -= static_cast<size_t>(n);
    }
    return 0;
}

// Writes the image beside the committed file, flushes it, and renames it into place.
int write_committed(const uint8_t *image, size_t len) {
    if (router_mkdirs(kFlashDir) < 0) return -errno;
    RouterPath tmp(kCommittingPath), final_path(kCommittedPath), dir(kFlashDir);
    int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return -errno;
    int rc = write_all(fd, image, len);
    if (rc == 0 && fsync(fd) < 0) rc = -errno;
    if (close(fd) < 0 && rc == 0) rc = -errno;
    if (rc == 0 && rename(tmp.c_str(), final_path.c_str()) < 0) rc = -errno;
    if (rc == 0) {
        int dfd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (dfd >= 0) {
            fsync(dfd);
            close(dfd);
        }
    }
    return rc;
}

}  // namespace

const char *nvram_get(const char *name) {
    if (!name) return nullptr;
    MutexLock guard;
    WorkingStore *s = store();
    if (!s) return nullptr;
    FileLock lock(g_lock_fd, LOCK_SH);
    const char *value = nvram_area_find(active_area(s), name);
    if (!value) return nullptr;
    return keep_value(name, value);
}

const char *nvram_safe_get(const char *name) {
    const char *value = nvram_get(name);
    return value ? value : "";
}

int nvram_set(const char *name, const char *value) {
    return change(name, value ? value : "");
}

int nvram_unset(const char *name) {
    return change(name, nullptr);
}

int nvram_commit(void) {
    uint8_t *image = static_cast<uint8_t *>(malloc(kNvramImageHeader + kNvramCapacity));
    if (!image) return -ENOMEM;
    size_t len = 0;
    int commit_fd = -1;
    {
        MutexLock guard;
        WorkingStore *s = store();
        if (!s) {
            free(image);
            return -EIO;
        }
        // Committers take turns, so an older copy never lands after a newer one.
        if (router_mkdirs(kStoreDir) < 0) {
            free(image);
            return -errno;
        }
        RouterPath lock_path(kCommitLockPath);
        commit_fd = open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (commit_fd < 0) {
            free(image);
            return -errno;
        }
        while (flock(commit_fd, LOCK_EX) < 0 && errno == EINTR) {
        }
        FileLock lock(g_lock_fd, LOCK_SH);
        const NvramArea &area = active_area(s);
        len = nvram_image_encode(area.data, nvram_area_extent(area), image);
    }
    int rc = write_committed(image, len);
    close(commit_fd);  // releases the commit lock
    free(image);
    return rc;
}

int nvram_getall(char *buf, size_t size) {
    MutexLock guard;
    WorkingStore *s = store();
    if (!s) return -EIO;
    FileLock lock(g_lock_fd, LOCK_SH);
    const NvramArea &area = active_area(s);
    size_t used = nvram_area_extent(area);
    if (used + 1 > size) return -ENOSPC;
    std::memcpy(buf, area.data, used);
    buf[used] = '\0';
    return static_cast<int>(used);
}

int nvram_usage(size_t *used, size_t *capacity) {
    MutexLock guard;
    WorkingStore *s = store();
    if (!s) return -EIO;
    FileLock lock(g_lock_fd, LOCK_SH);
    *used = nvram_area_extent(active_area(s));
    *capacity = kNvramCapacity;
    return 0;
}

void nvram_testing_forget(void) {
    MutexLock guard;
    if (g_store) munmap(g_store, sizeof(WorkingStore));
    if (g_lock_fd >= 0) close(g_lock_fd);
    g_store = nullptr;
    g_lock_fd = -1;
    forget_kept();
    g_said_broken = false;
}
