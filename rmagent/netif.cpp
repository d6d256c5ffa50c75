#include "rmagent/netif.h"

#include <net/if.h>
#include <net/if_arp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/ifquery.h"
#include "platform/router_root.h"

namespace {

netif *g_list;

int type_code(int hwtype, const char *base) {
    switch (hwtype) {
        case ARPHRD_ETHER:
            return 6;
        case ARPHRD_ARCNET:
            return 35;
        case ARPHRD_SLIP:
        case ARPHRD_CSLIP:
        case ARPHRD_SLIP6:
        case ARPHRD_CSLIP6:
            return 28;
        case ARPHRD_PPP:
            return 23;
        case ARPHRD_TUNNEL:
        case ARPHRD_TUNNEL6:
            return 131;
        case ARPHRD_LOOPBACK:
            return 24;
        case ARPHRD_LOCALTLK:
            return 42;
        case ARPHRD_FDDI:
            return 15;
        default:
            break;
    }
    if (!strncmp(base, "lo", 2)) return 24;
    if (!strncmp(base, "eth", 3)) return 6;
    if (!strncmp(base, "tr", 2)) return 9;
    if (!strncmp(base, "ppp", 3)) return 23;
    if (!strncmp(base, "sl", 2)) return 28;
    return 1;
}

void fill_from_kernel(int sock, netif *n) {
    char name[sizeof n->base + sizeof n->suffix];
    snprintf(name, sizeof name, "%s%s", n->base, n->suffix);
    if_facts f;
    if_query(sock, name, &f);
    n->addr = f.addr;
    n->broadaddr = f.broadaddr;
    n->netmask = f.netmask;
    n->flags = f.flags;
    memcpy(n->hwaddr, f.hwaddr, sizeof n->hwaddr);
    n->metric = f.metric;
    n->mtu = f.mtu;
    n->type = type_code(f.hwtype, n->base);
    n->speed = n->type == 6 || n->type == 24 ? 10000000u : n->type == 9 ? 4000000u : 0u;
}

netif *find(const char *name) {
    for (netif *n = g_list; n; n = n->next) {
        size_t base_len = strlen(n->base);
        if (!strncmp(name, n->base, base_len) && !strcmp(name + base_len, n->suffix)) return n;
    }
    return nullptr;
}

}  // namespace

bool netif_parse_line(const char *line, bool compressed, netif *out) {
    const char *colon = strchr(line, ':');
    if (!colon) return false;
    const char *start = line;
    while (*start == ' ' || *start == '\t')
        ++start;
    size_t name_len = static_cast<size_t>(colon - start);
    if (name_len == 0 || name_len >= IFNAMSIZ) return false;
    memset(out, 0, sizeof *out);
    size_t digit = 0;
    while (digit < name_len && !isdigit(static_cast<unsigned char>(start[digit])))
        ++digit;
    memcpy(out->base, start, digit);
    memcpy(out->suffix, start + digit, name_len - digit);

    unsigned long long rb = 0, rp = 0, re = 0, tb = 0, tp = 0, te = 0, co = 0;
    if (compressed) {
        if (sscanf(colon + 1, "%llu %llu %llu %*u %*u %*u %*u %*u %llu %llu %llu %*u %*u %llu", &rb,
                   &rp, &re, &tb, &tp, &te, &co) != 7)
            return false;
    } else {
        if (sscanf(colon + 1, "%llu %llu %*u %*u %*u %llu %llu %*u %*u %llu", &rp, &re, &tp, &te,
                   &co) != 5)
            return false;
        rb = rp * 308;
        tb = tp * 308;
    }
    out->rx_bytes = static_cast<uint32_t>(rb);
    out->rx_packets = static_cast<uint32_t>(rp);
    out->rx_errors = static_cast<uint32_t>(re);
    out->tx_bytes = static_cast<uint32_t>(tb);
    out->tx_packets = static_cast<uint32_t>(tp);
    out->tx_errors = static_cast<uint32_t>(te);
    out->collisions = static_cast<uint32_t>(co);
    if (!strcmp(out->base, "lo") && !out->suffix[0] && out->rx_packets && !out->tx_packets) {
        out->tx_bytes = out->rx_bytes;
        out->tx_packets = out->rx_packets;
        out->tx_errors = out->rx_errors;
    }
    return true;
}

int netif_init(void) {
    netif_fina();
    int sock = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (sock < 0) return -1;
    RouterPath path("/proc/net/dev");
    FILE *f = path.ok() ? fopen(path.c_str(), "re") : nullptr;
    if (!f) {
        close(sock);
        return -1;
    }
    char line[512];
    bool compressed = false;
    if (fgets(line, sizeof line, f) && fgets(line, sizeof line, f))
        compressed = strstr(line, "compressed") != nullptr;
    netif **tail = &g_list;
    while (fgets(line, sizeof line, f)) {
        netif parsed;
        if (!netif_parse_line(line, compressed, &parsed)) continue;
        netif *n = static_cast<netif *>(malloc(sizeof(netif)));
        if (!n) break;
        *n = parsed;
        fill_from_kernel(sock, n);
        n->next = nullptr;
        *tail = n;
        tail = &n->next;
    }
    fclose(f);
    close(sock);
    return 0;
}

int netif_get(const char *name, int item, void *out) {
    const netif *n = find(name);
    if (!n) return -1;
    if (item == kNetifHwaddr) {
        memcpy(out, n->hwaddr, sizeof n->hwaddr);
        return static_cast<int>(sizeof n->hwaddr);
    }
    uint32_t v;
    switch (item) {
        case kNetifSpeed:
            v = n->speed;
            break;
        case kNetifAdminStatus:
            v = (n->flags & IFF_UP) ? 1 : 2;
            break;
        case kNetifOperStatus:
            v = (n->flags & IFF_RUNNING) ? 1 : 2;
            break;
        case kNetifRxBytes:
            v = n->rx_bytes;
            break;
        case kNetifRxPackets:
            v = n->rx_packets;
            break;
        case kNetifRxErrors:
            v = n->rx_errors;
            break;
        case kNetifTxBytes:
            v = n->tx_bytes;
            break;
        case kNetifTxPackets:
            v = n->tx_packets;
            break;
        case kNetifTxErrors:
            v = n->tx_errors;
            break;
        case kNetifAddr:
            v = n->addr;
            break;
        case kNetifNetmask:
            v = n->netmask;
            break;
        case kNetifCollisions:
            v = n->collisions;
            break;
        default:
            return -1;
    }
    memcpy(out, &v, sizeof v);
    return static_cast<int>(sizeof v);
}

void netif_fina(void) {
    while (g_list) {
        netif *next = g_list->next;
        free(g_list);
        g_list = next;
    }
}
