#include "rmagent/backup_store.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/backup_edit.h"
#include "platform/process.h"
#include "platform/router_root.h"

const char *nvram_backup_path = kBackupWorkingPath;
int nvram_backup_fd = -1;
uint8_t *nvram_backup_mmap;
size_t nvram_backup_size;

namespace {

int run(const char *command) {
    char *argv[] = {const_cast<char *>(command), const_cast<char *>(nvram_backup_path),
                    const_cast<char *>("backup"), nullptr};
    return _eval(argv, ">/dev/console", 0, nullptr);
}

}  // namespace

int backup_nvram_init(void) {
    if (backup_edit_lock() < 0) return -1;
    if (run("nvram_mtd_read") != 0) {
        backup_nvram_fini();
        backup_edit_unlock();
        return -1;
    }
    RouterPath path(nvram_backup_path);
    nvram_backup_fd = path.ok() ? open(path.c_str(), O_RDWR | O_CLOEXEC) : -1;
    struct stat st;
    if (nvram_backup_fd < 0 || fstat(nvram_backup_fd, &st) < 0 || st.st_size <= 0) {
        backup_nvram_fini();
        backup_edit_unlock();
        return -1;
    }
    nvram_backup_size = static_cast<size_t>(st.st_size);
    void *map =
        mmap(nullptr, nvram_backup_size, PROT_READ | PROT_WRITE, MAP_SHARED, nvram_backup_fd, 0);
    if (map == MAP_FAILED) {
        backup_nvram_fini();
        backup_edit_unlock();
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
    int rc = run("nvram_mtd_write");
    backup_edit_unlock();
    return rc;
}
