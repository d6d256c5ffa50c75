#include "platform/router_root.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

const char *router_root() {
    const char *root = std::getenv("ROUTER_ROOT");
    return (root && *root) ? root : nullptr;
}

bool router_path(const char *system_path, char *out, size_t out_size) {
    const char *root = router_root();
    size_t root_len = root ? std::strlen(root) : 0;
    while (root_len > 1 && root[root_len - 1] == '/')
        --root_len;  // "root/" + "/dev" once
    size_t path_len = std::strlen(system_path);
    bool needs_slash = root && system_path[0] != '/';
    size_t total = root_len + (needs_slash ? 1 : 0) + path_len;
    if (out_size == 0) return false;
    if (total >= out_size) {
        out[0] = '\0';
        return false;
    }
    if (root) std::memcpy(out, root, root_len);
    if (needs_slash) out[root_len] = '/';
    std::memcpy(out + root_len + (needs_slash ? 1 : 0), system_path, path_len + 1);
    return true;
}

int router_mkdirs(const char *system_dir) {
    RouterPath path(system_dir);
    if (!path.ok()) {
        errno = ENAMETOOLONG;
        return -1;
    }
    char buf[sizeof(RouterPath)];
    std::strncpy(buf, path.c_str(), sizeof buf - 1);
    buf[sizeof buf - 1] = '\0';
    for (char *p = buf + 1;; ++p) {
        bool end = *p == '\0';
        if (*p == '/' || end) {
            *p = '\0';
            if (mkdir(buf, 0755) < 0 && errno != EEXIST) return -1;
            if (end) return 0;
            *p = '/';
        }
    }
}
