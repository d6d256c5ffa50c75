#include "platform/pccard.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/router_root.h"

namespace {

constexpr const char *kSockDirs[] = {"/var/lib/pcmcia", "/var/run", "/dev", "/tmp"};
constexpr const char kSocketDir[] = "/sys/class/pccard/socket0/";

// The simulated socket's file `name` into `buf` (NUL-terminated). Its length, or -1.
int socket_file(const char *name, char *buf, size_t size) {
    char system_path[128];
    snprintf(system_path, sizeof system_path, "%s%s", kSocketDir, name);
    RouterPath path(system_path);
    int fd = path.ok() ? open(path.c_str(), O_RDONLY | O_CLOEXEC) : -1;
    if (fd < 0) return -1;
    ssize_t n = read(fd, buf, size - 1);
    close(fd);
    if (n < 0) return -1;
    buf[n] = '\0';
    return static_cast<int>(n);
}

// First tuple of `code`, its data, parsed: the driver's three requests.
int board_tuple(int fd, uint8_t code, cs_tuple_parse *tp) {
    memset(tp, 0, sizeof *tp);
    tp->tuple.desired_tuple = code;
    tp->tuple.tuple_data = tp->data;
    tp->tuple.tuple_data_max = sizeof tp->data;
    if (ioctl(fd, DS_GET_FIRST_TUPLE, &tp->tuple) < 0) return -1;
    if (ioctl(fd, DS_GET_TUPLE_DATA, tp) < 0) return -1;
    if (ioctl(fd, DS_PARSE_TUPLE, tp) < 0) return -1;
    return 0;
}

}  // namespace

int pccard_find_major(const char *name) {
    RouterPath path("/proc/devices");
    FILE *f = path.ok() ? fopen(path.c_str(), "re") : nullptr;
    if (!f) {
        if (!path.ok()) errno = ENAMETOOLONG;
        return -1;
    }
    char line[32];
    int found = -2;
    bool continuation = false;  // in the rest of a line longer than one read
    while (found < 0 && fgets(line, sizeof line, f)) {
        size_t len = strlen(line);
        bool whole = len > 0 && line[len - 1] == '\n';
        if (!whole && !feof(f)) {
            continuation = true;
            continue;
        }
        if (continuation) {  // the end of a long line
            continuation = false;
            continue;
        }
        int major;
        char drv[32];
        if (sscanf(line, "%d %31s", &major, drv) == 2 && !strcmp(drv, name)) found = major;
    }
    fclose(f);
    return found;
}

int pccard_open_sock(int major) {
    int err = ENOENT;
    for (const char *dir : kSockDirs) {
        char system_path[96];
        snprintf(system_path, sizeof system_path, "%s/cc-%d", dir, static_cast<int>(getpid()));
        RouterPath path(system_path);
        if (!path.ok()) continue;
        int made;
        if (router_root()) {
            // A plain file stands for the node; a missing directory counts as a failed mknod.
            int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
            made = fd >= 0 ? close(fd) : -1;
        } else {
            made = mknod(path.c_str(), S_IFCHR | 0600, makedev(static_cast<unsigned>(major), 0));
        }
        if (made < 0) {
            err = errno;
            continue;
        }
        int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        err = errno;
        unlink(path.c_str());
        if (fd >= 0) return fd;
        if (err == ENODEV) break;
    }
    errno = err;
    return -1;
}

int pccard_get_status(int fd, uint32_t *state) {
    if (router_root()) {
        char text[32];
        if (socket_file("status", text, sizeof text) <= 0) return -1;
        char *end;
        unsigned long v = strtoul(text, &end, 16);
        if (end == text) return -1;
        *state = static_cast<uint32_t>(v);
        return 0;
    }
    cs_status st;
    memset(&st, 0, sizeof st);
    st.function = 0;
    if (ioctl(fd, DS_GET_STATUS, &st) < 0) return -1;
    *state = st.card_state;
    return 0;
}

int pccard_vers1_strings(const cs_vers1 *reply, const char *strings[kCsMaxProdStrings]) {
    unsigned n = reply->ns < kCsMaxProdStrings ? reply->ns : kCsMaxProdStrings;
    for (unsigned i = 0; i < n; ++i) {
        unsigned at = reply->ofs[i];
        if (at >= kCsVers1StrSpace) return -1;
        if (!memchr(reply->str + at, '\0', kCsVers1StrSpace - at)) return -1;
        strings[i] = reply->str + at;
    }
    return static_cast<int>(n);
}

int pccard_get_vers1(int fd, cs_vers1 *reply, const char *strings[kCsMaxProdStrings]) {
    memset(reply, 0, sizeof *reply);
    if (router_root()) {
        char text[512];
        if (socket_file("vers_1", text, sizeof text) < 0) return -1;
        // Packed as the driver packs them: offsets into one string area.
        size_t used = 0;
        char *save = nullptr;
        for (char *line = strtok_r(text, "\n", &save); line && reply->ns < kCsMaxProdStrings;
             line = strtok_r(nullptr, "\n", &save)) {
            size_t len = strlen(line);
            if (used + len + 1 > kCsVers1StrSpace) break;
            reply->ofs[reply->ns++] = static_cast<uint8_t>(used);
            memcpy(reply->str + used, line, len + 1);
            used += len + 1;
        }
    } else {
        cs_tuple_parse tp;
        if (board_tuple(fd, 0x15, &tp) < 0) return -1;
        memcpy(reply, &tp.parse.vers1, sizeof *reply);
    }
    return pccard_vers1_strings(reply, strings);
}

int pccard_get_manfid(int fd, cs_manfid *out) {
    if (router_root()) {
        char text[64];
        unsigned manf, card;
        if (socket_file("manfid", text, sizeof text) <= 0 ||
            sscanf(text, "%x %x", &manf, &card) != 2)
            return -1;
        out->manf = static_cast<uint16_t>(manf);
        out->card = static_cast<uint16_t>(card);
        return 0;
    }
    cs_tuple_parse tp;
    if (board_tuple(fd, 0x20, &tp) < 0) return -1;
    *out = tp.parse.manfid;
    return 0;
}

int pccard_get_funcid(int fd, cs_funcid *out) {
    if (router_root()) {
        char text[32];
        unsigned func;
        if (socket_file("funcid", text, sizeof text) <= 0 || sscanf(text, "%u", &func) != 1)
            return -1;
        out->func = static_cast<uint8_t>(func);
        out->sysinit = 0;
        return 0;
    }
    cs_tuple_parse tp;
    if (board_tuple(fd, 0x21, &tp) < 0) return -1;
    *out = tp.parse.funcid;
    return 0;
}

int pccard_get_config(int fd, uint32_t *int_type, uint32_t *config_base) {
    if (router_root()) {
        char text[64];
        unsigned type, base;
        if (socket_file("config", text, sizeof text) <= 0 ||
            sscanf(text, "%u %x", &type, &base) != 2)
            return -1;
        *int_type = type;
        *config_base = base;
        return 0;
    }
    cs_config_info info;
    memset(&info, 0, sizeof info);
    info.function = 0;
    if (ioctl(fd, DS_GET_CONFIGURATION_INFO, &info) < 0) return -1;
    *int_type = info.int_type;
    *config_base = info.config_base;
    return 0;
}
