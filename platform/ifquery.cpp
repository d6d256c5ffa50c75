#include "platform/ifquery.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <sys/ioctl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/router_root.h"

namespace {

// Reads the first line of "/sys/class/net/NAME/ITEM" under the router root.
bool read_item(const char *name, const char *item, char *line, size_t size) {
    char system_path[128];
    if (snprintf(system_path, sizeof system_path, "/sys/class/net/%s/%s", name, item) >=
        static_cast<int>(sizeof system_path))
        return false;
    RouterPath path(system_path);
    FILE *f = path.ok() ? fopen(path.c_str(), "re") : nullptr;
    if (!f) return false;
    bool ok = fgets(line, static_cast<int>(size), f) != nullptr;
    fclose(f);
    return ok;
}

bool read_number(const char *name, const char *item, long *value) {
    char line[64];
    if (!read_item(name, item, line, sizeof line)) return false;
    char *end = nullptr;
    *value = strtol(line, &end, 0);
    return end != line;
}

int query_files(const char *name, if_facts *out) {
    int got = 0;
    long v;
    if (read_number(name, "flags", &v)) {
        out->flags = static_cast<unsigned>(v);
        ++got;
    }
    if (read_number(name, "type", &v)) {
        out->hwtype = static_cast<int>(v);
        ++got;
    }
    if (read_number(name, "mtu", &v)) {
        out->mtu = static_cast<int>(v);
        ++got;
    }
    if (read_number(name, "metric", &v)) {
        out->metric = static_cast<int>(v);
        ++got;
    }
    char line[128];
    unsigned b[6];
    if (read_item(name, "address", line, sizeof line) &&
        sscanf(line, "%x:%x:%x:%x:%x:%x", &b[0], &b[1], &b[2], &b[3], &b[4], &b[5]) == 6) {
        for (int i = 0; i < 6; ++i)
            out->hwaddr[i] = static_cast<uint8_t>(b[i]);
        ++got;
    }
    char a[3][32];
    if (read_item(name, "ipv4", line, sizeof line) &&
        sscanf(line, "%31s %31s %31s", a[0], a[1], a[2]) == 3) {
        uint32_t *dst[3] = {&out->addr, &out->broadaddr, &out->netmask};
        for (int i = 0; i < 3; ++i) {
            in_addr ia;
            if (inet_pton(AF_INET, a[i], &ia) == 1) {
                *dst[i] = ia.s_addr;
                ++got;
            }
        }
    }
    return got;
}

uint32_t sockaddr_ipv4(const sockaddr &sa) {
    sockaddr_in sin;
    std::memcpy(&sin, &sa, sizeof sin);
    return sin.sin_addr.s_addr;
}

int query_kernel(int sock, const char *name, if_facts *out) {
    int got = 0;
    ifreq ifr{};
    std::strncpy(ifr.ifr_name, name, IFNAMSIZ - 1);
    if (ioctl(sock, SIOCGIFADDR, &ifr) == 0) {
        out->addr = sockaddr_ipv4(ifr.ifr_addr);
        ++got;
    }
    if (ioctl(sock, SIOCGIFBRDADDR, &ifr) == 0) {
        out->broadaddr = sockaddr_ipv4(ifr.ifr_broadaddr);
        ++got;
    }
    if (ioctl(sock, SIOCGIFNETMASK, &ifr) == 0) {
        out->netmask = sockaddr_ipv4(ifr.ifr_netmask);
        ++got;
    }
    if (ioctl(sock, SIOCGIFFLAGS, &ifr) == 0) {
        out->flags = static_cast<unsigned short>(ifr.ifr_flags);
        ++got;
    }
    if (ioctl(sock, SIOCGIFHWADDR, &ifr) == 0) {
        std::memcpy(out->hwaddr, ifr.ifr_hwaddr.sa_data, 6);
        out->hwtype = ifr.ifr_hwaddr.sa_family;
        ++got;
    }
    if (ioctl(sock, SIOCGIFMETRIC, &ifr) == 0) {
        out->metric = ifr.ifr_metric;
        ++got;
    }
    if (ioctl(sock, SIOCGIFMTU, &ifr) == 0) {
        out->mtu = ifr.ifr_mtu;
        ++got;
    }
    return got;
}

}  // namespace

int if_query(int sock, const char *name, if_facts *out) {
    std::memset(out, 0, sizeof *out);
    out->hwtype = -1;
    if (!name || !*name || std::strlen(name) >= IFNAMSIZ || std::strchr(name, '/')) return 0;
    return router_root() ? query_files(name, out) : query_kernel(sock, name, out);
}
