#include "platform/flash.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/router_root.h"

namespace {

bool partition_path(const char *partition, char *out, size_t size) {
    if (!partition || !*partition || std::strchr(partition, '/') || !std::strcmp(partition, ".") ||
        !std::strcmp(partition, ".."))
        return false;
    char system_path[256];
    if (snprintf(system_path, sizeof system_path, "%s/%s", kFlashDir, partition) >=
        static_cast<int>(sizeof system_path))
        return false;
    return router_path(system_path, out, size);
}

// Copies everything from `in` to `out`. Returns 0, or -1.
int copy_fd(int in, int out) {
    char buf[8192];
    for (;;) {
        ssize_t n = read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return -1;
        if (n == 0) return 0;
        for (ssize_t off = 0; off < n;) {
            ssize_t w = write(out, buf + off, static_cast<size_t>(n - off));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) return -1;
            off += w;
        }
    }
}

// Copies host file `from` into host file `to`, written aside and renamed into place.
int copy_file(const char *from, const char *to, const char **why) {
    int in = open(from, O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        *why = "cannot open the source";
        return -1;
    }
    char aside[1100];
    if (snprintf(aside, sizeof aside, "%s.new", to) >= static_cast<int>(sizeof aside)) {
        close(in);
        *why = "path too long";
        return -1;
    }
    int out = open(aside, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) {
        close(in);
        *why = "cannot create the destination";
        return -1;
    }
    int rc = copy_fd(in, out);
    close(in);
    if (rc == 0 && fsync(out) < 0) rc = -1;
    if (close(out) < 0) rc = -1;
    if (rc == 0 && rename(aside, to) < 0) rc = -1;
    if (rc < 0) {
        unlink(aside);
        *why = "copy failed";
    }
    return rc;
}

}  // namespace

int flash_read_partition(const char *partition, const char *file, const char **why) {
    char part[1024];
    RouterPath dest(file ? file : "");
    if (!partition_path(partition, part, sizeof part)) {
        *why = "bad partition name";
        return -1;
    }
    if (!file || !*file || !dest.ok()) {
        *why = "bad file name";
        return -1;
    }
    if (access(part, R_OK) < 0) {
        *why = "no such partition";
        return -1;
    }
    return copy_file(part, dest.c_str(), why);
}

int flash_write_partition(const char *file, const char *partition, const char **why) {
    char part[1024];
    RouterPath src(file ? file : "");
    if (!partition_path(partition, part, sizeof part)) {
        *why = "bad partition name";
        return -1;
    }
    if (!file || !*file || !src.ok()) {
        *why = "bad file name";
        return -1;
    }
    if (router_mkdirs(kFlashDir) < 0) {
        *why = "cannot create the flash directory";
        return -1;
    }
    return copy_file(src.c_str(), part, why);
}
