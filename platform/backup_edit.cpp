#include "platform/backup_edit.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/backup_image.h"
#include "platform/process.h"
#include "platform/router_root.h"

namespace {

int lock_fd = -1;

int run_mtd(const char *command) {
    char *argv[] = {const_cast<char *>("mtd"), const_cast<char *>(command),
                    const_cast<char *>(kBackupWorkingPath), const_cast<char *>("backup"), nullptr};
    return _eval(argv, ">/dev/console", 0, nullptr);
}

// Writes image[from..to) at that offset, retrying partial writes. 0, or -1.
int write_span(int fd, const uint8_t *image, size_t from, size_t to) {
    while (from < to) {
        ssize_t w = pwrite(fd, image + from, to - from, static_cast<off_t>(from));
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return -1;
        from += static_cast<size_t>(w);
    }
    return 0;
}

// The body of backup_set(), with the lock held.
int edit(const char *name, const char *value) {
    if (run_mtd("read") != 0) {
        fprintf(stderr, "backup store: mtd read failed, nothing written back\n");
        return -1;
    }
    RouterPath path(kBackupWorkingPath);
    int fd = path.ok() ? open(path.c_str(), O_RDWR | O_CLOEXEC) : -1;
    if (fd < 0) {
        fprintf(stderr, "backup store: cannot open the working copy\n");
        return -1;
    }
    // The whole copy in one buffer (the largest valid image; what lies beyond is padding).
    uint8_t *image = static_cast<uint8_t *>(malloc(kBackupMaxLen));
    uint8_t *before = static_cast<uint8_t *>(malloc(kBackupMaxLen));
    size_t size = 0;
    while (image && before && size < kBackupMaxLen) {
        ssize_t n = read(fd, image + size, kBackupMaxLen - size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        size += static_cast<size_t>(n);
    }
    int rc = -1;
    if (!image || !before) {
        fprintf(stderr, "backup store: out of memory\n");
    } else {
        memcpy(before, image, size);
        int replaced = backup_image_replace(image, size, name, value);
        if (replaced == kBackupHeaderShort) {
            fprintf(stderr, "backup paritition is bad \n");
        } else if (replaced == kBackupHeaderBad) {
            fprintf(stderr, "Bad nvram_hdr header\n");
        } else {
            // Only the span that changed goes back to the file.
            size_t first = 0, last = size;
            while (first < size && image[first] == before[first])
                ++first;
            while (last > first && image[last - 1] == before[last - 1])
                --last;
            if (write_span(fd, image, first, last) < 0) {
                fprintf(stderr, "backup store: write of %s failed\n", name);
            } else if (run_mtd("write_nvram") != 0) {
                fprintf(stderr, "backup store: mtd write_nvram failed\n");
            } else if (replaced == 0) {
                fprintf(stderr, "backup store: no entry %s of that length\n", name);
            } else {
                rc = 0;
            }
        }
    }
    free(image);
    free(before);
    close(fd);
    return rc;
}

}  // namespace

int backup_edit_lock(void) {
    if (lock_fd >= 0) return 0;
    if (router_mkdirs("/tmp") < 0) return -1;
    RouterPath path(kBackupLockPath);
    int fd = path.ok() ? open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600) : -1;
    if (fd < 0) return -1;
    int r;
    do {
        r = flock(fd, LOCK_EX);
    } while (r < 0 && errno == EINTR);
    if (r < 0) {
        close(fd);
        return -1;
    }
    lock_fd = fd;
    return 0;
}

void backup_edit_unlock(void) {
    if (lock_fd < 0) return;
    close(lock_fd);  // releases the lock
    lock_fd = -1;
}

bool backup_edit_locked(void) {
    return lock_fd >= 0;
}

int backup_set(const char *name, const char *value) {
    if (backup_edit_lock() < 0) {
        fprintf(stderr, "backup store: cannot take the edit lock\n");
        return -1;
    }
    int rc = edit(name, value);
    backup_edit_unlock();
    return rc;
}
