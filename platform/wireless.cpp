#include "platform/wireless.h"

#include <linux/sockios.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/router_root.h"

namespace {

// The request record the wireless driver takes through SIOCDEVPRIVATE.
struct wl_ioctl_req {
    unsigned cmd;
    void *buf;
    unsigned len;
    unsigned char set;
    unsigned used;
    unsigned needed;
};

}  // namespace

int wl_ioctl(const char *ifname, int cmd, void *buf, int len) {
    if (!ifname || !*ifname || len < 0) {
        errno = EINVAL;
        return -1;
    }
    if (router_root()) {
        errno = ENODEV;
        return -1;
    }
    int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s < 0) return -1;
    wl_ioctl_req req{};
    req.cmd = static_cast<unsigned>(cmd);
    req.buf = buf;
    req.len = static_cast<unsigned>(len);
    ifreq ifr{};
    std::strncpy(ifr.ifr_name, ifname, IFNAMSIZ - 1);
    ifr.ifr_data = reinterpret_cast<char *>(&req);
    int rc = ioctl(s, SIOCDEVPRIVATE, &ifr);
    int err = errno;
    close(s);
    errno = err;
    return rc < 0 ? -1 : 0;
}

char *ether_etoa(const uint8_t *ea, char *buf) {
    snprintf(buf, 18, "%02X:%02X:%02X:%02X:%02X:%02X", ea[0], ea[1], ea[2], ea[3], ea[4], ea[5]);
    return buf;
}
