#include "platform/ethdev.h"

#include <errno.h>
#include <fcntl.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/bytes.h"
#include "platform/router_root.h"

namespace {

// Finds the line of `text` that starts with `key` and a space; the rest of it, or nullptr.
const char *line_after(const char *text, const char *key) {
    size_t k = strlen(key);
    for (const char *line = text; line && *line;) {
        if (!strncmp(line, key, k) && line[k] == ' ') return line + k + 1;
        line = strchr(line, '\n');
        if (line) ++line;
    }
    return nullptr;
}

// The simulated switch's whole file (a few lines).
int adm_text(int fd, char *buf, size_t size) {
    ssize_t n = pread(fd, buf, size - 1, 0);
    if (n < 0) return -1;
    buf[n] = '\0';
    return 0;
}

}  // namespace

int ethdev_phy_read(int sock, const char *ifname, uint32_t reg, uint32_t *value) {
    if (router_root()) {
        char system_path[96];
        snprintf(system_path, sizeof system_path, "/sys/class/net/%s/phy", ifname);
        RouterPath path(system_path);
        FILE *f = path.ok() ? fopen(path.c_str(), "re") : nullptr;
        if (!f) {
            errno = EOPNOTSUPP;
            return -1;
        }
        uint32_t v = 0xffff;
        char line[64];
        while (fgets(line, sizeof line, f)) {
            unsigned r, val;
            if (sscanf(line, "%u %x", &r, &val) == 2 && r == reg) {
                v = val;
                break;
            }
        }
        fclose(f);
        *value = v;
        return 0;
    }
    uint32_t args[2] = {reg, 0};
    ifreq ifr;
    memset(&ifr, 0, sizeof ifr);
    strncpy(ifr.ifr_name, ifname, sizeof ifr.ifr_name - 1);
    ifr.ifr_data = reinterpret_cast<char *>(args);
    if (ioctl(sock, kEthPhyRead, &ifr) < 0) return -1;
    *value = args[1];
    return 0;
}

int adm_open(void) {
    RouterPath path("/dev/adm");
    return path.ok() ? open(path.c_str(), O_RDWR | O_CLOEXEC) : -1;
}

int adm_chip_id(int fd, uint32_t *id) {
    if (router_root()) {
        char text[512];
        const char *rest;
        char *end;
        if (adm_text(fd, text, sizeof text) < 0) return -1;
        if (!(rest = line_after(text, "id"))) {
            errno = EIO;
            return -1;
        }
        unsigned long v = strtoul(rest, &end, 16);
        if (end == rest) {
            errno = EIO;
            return -1;
        }
        *id = static_cast<uint32_t>(v);
        return 0;
    }
    uint32_t word = 0;
    if (ioctl(fd, kAdmChipId, &word) < 0) return -1;
    *id = word;
    return 0;
}

int adm_port_table(int fd, uint8_t table[kAdmPortRecords * kAdmPortRecordLen]) {
    if (router_root()) {
        char text[512];
        const char *rest;
        if (adm_text(fd, text, sizeof text) < 0) return -1;
        if (!(rest = line_after(text, "ports"))) {
            errno = EIO;
            return -1;
        }
        memset(table, 0, kAdmPortRecords * kAdmPortRecordLen);
        for (size_t i = 0; i < kAdmPortRecords; ++i) {
            char *end;
            unsigned long v = strtoul(rest, &end, 16);
            if (end == rest) {
                errno = EIO;
                return -1;
            }
            put_host32(table + i * kAdmPortRecordLen + kAdmPortStatusAt, static_cast<uint32_t>(v));
            rest = end;
        }
        return 0;
    }
    return ioctl(fd, kAdmPortTable, table) < 0 ? -1 : 0;
}
