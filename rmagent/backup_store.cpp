#include "rmagent/backup_store.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "platform/process.h"
#include "platform/router_root.h"

const char *nvram_backup_path = "/tmp/nvram.backup";
int nvram_backup_fd = -1;
uint8_t *nvram_backup_mmap;
size_t nvram_backup_size;

namespace {

constexpr size_t kEntriesStart = 20;

// Whether the entry at image[start..end) names `name`: its characters up to the first "="
// (bytes of 128 and above skipped) equal the name. On a match, `value` is the offset just
// after that "=".
bool entry_matches(const uint8_t *image, size_t start, size_t end, const char *name,
                   size_t *value) {
    size_t k = 0;
    for (size_t i = start; i < end; ++i) {
        uint8_t c = image[i];
        if (c >= 128) continue;
        if (c == '=') {
            if (name[k] != '\0') return false;
            *value = i + 1;
            return true;
        }
        if (name[k] == '\0' || name[k] != static_cast<char>(c)) return false;
        ++k;
    }
    return false;
}

int run(const char *command) {
    char *argv[] = {const_cast<char *>(command), const_cast<char *>(nvram_backup_path),
                    const_cast<char *>("backup"), nullptr};
    return _eval(argv, ">/dev/console", 0, nullptr);
}

}  // namespace

int backup_image_set(uint8_t *image, size_t size, const char *name, const char *value) {
    if (!*name) return -1;
    size_t pos = kEntriesStart, value_at = 0, value_end = 0;
    bool found = false;
    // Entries up to the empty string that ends the list; the padding beyond is not looked at.
    while (pos < size && image[pos] != 0) {
        const uint8_t *nul = static_cast<const uint8_t *>(memchr(image + pos, 0, size - pos));
        size_t end = nul ? static_cast<size_t>(nul - image) : size;
        if (!found && end < size && entry_matches(image, pos, end, name, &value_at)) {
            found = true;
            value_end = end;
        }
        pos = end + 1;
    }
    if (!found) return -1;
    size_t list_end = pos;  // the NUL of the empty string, or size when the list runs out
    size_t o = value_end - value_at, n = strlen(value);
    if (n > o) {
        size_t grow = n - o;
        if (list_end >= size || list_end + grow >= size) return -2;
        memmove(image + value_end + grow, image + value_end, size - value_end - grow);
    } else if (n < o) {
        size_t shrink = o - n;
        memmove(image + value_end - shrink, image + value_end, size - value_end);
        memset(image + size - shrink, 0, shrink);
    }
    memcpy(image + value_at, value, n);
    image[value_at + n] = 0;
    return 0;
}

int backup_nvram_init(void) {
    run("nvram_mtd_read");
    RouterPath path(nvram_backup_path);
    nvram_backup_fd = path.ok() ? open(path.c_str(), O_RDWR | O_CLOEXEC) : -1;
    struct stat st;
    if (nvram_backup_fd < 0 || fstat(nvram_backup_fd, &st) < 0 || st.st_size <= 0) {
        backup_nvram_fini();
        return -1;
    }
    nvram_backup_size = static_cast<size_t>(st.st_size);
    void *map =
        mmap(nullptr, nvram_backup_size, PROT_READ | PROT_WRITE, MAP_SHARED, nvram_backup_fd, 0);
    if (map == MAP_FAILED) {
        backup_nvram_fini();
        return -1;
    }
    nvram_backup_mmap = static_cast<uint8_t *>(map);
    return 0;
}

int backup_nvram_set(const char *name, const char *value) {
    if (!nvram_backup_mmap) return -1;
    return backup_image_set(nvram_backup_mmap, nvram_backup_size, name, value);
}

void backup_nvram_fini(void) {
    if (nvram_backup_mmap) munmap(nvram_backup_mmap, nvram_backup_size);
    nvram_backup_mmap = nullptr;
    nvram_backup_size = 0;
    if (nvram_backup_fd >= 0) close(nvram_backup_fd);
    nvram_backup_fd = -1;
}

int backup_nvram_commit(void) {
    return run("nvram_mtd_write");
}
