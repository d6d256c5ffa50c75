// Interface statistics: one record per line of "/proc/net/dev" (under the router root), with
// the figures the kernel gives for each interface. The list is rebuilt by every netif_init().
// Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>

struct netif {
    netif *next;
    char base[16];    // "eth" of "eth0"
    char suffix[16];  // "0": from the first digit on
    uint32_t rx_bytes, rx_packets, rx_errors;
    uint32_t tx_bytes, tx_packets, tx_errors;
    uint32_t collisions;
    uint32_t addr, broadaddr, netmask;  // network order
    unsigned flags;
    uint8_t hwaddr[6];
    int type;  // interface-type code: 6 Ethernet, 24 loopback, 23 PPP, ...
    int metric;
    int mtu;
    uint32_t speed;  // bits per second
};

// Items of netif_get().
enum NetifItem {
    kNetifSpeed = 5,
    kNetifHwaddr = 6,
    kNetifAdminStatus = 7,
    kNetifOperStatus = 8,
    kNetifRxBytes = 10,
    kNetifRxPackets = 11,
    kNetifRxErrors = 14,
    kNetifTxBytes = 16,
    kNetifTxPackets = 17,
    kNetifTxErrors = 20,
    kNetifAddr = 23,
    kNetifNetmask = 24,
    kNetifCollisions = 25,
};

// Rebuilds the list. 0, or -1 when no socket or "/proc/net/dev" cannot be opened.
[[nodiscard]] int netif_init(void);

// Writes item `item` of interface `name` to `out` (a 4-byte host-order value, or the 6-byte
// hardware address). Returns the size written, or -1 for an unknown interface or item.
[[nodiscard]] int netif_get(const char *name, int item, void *out);

// Frees the list.
void netif_fina(void);

// Parses one interface line of "/proc/net/dev" into `out` (name and counters only). The
// counters follow the layout the heading announced: with "compressed", bytes and packets;
// without, packets only (bytes are 308 times the packets). false for a line without ":" or
// whose counters do not parse.
[[nodiscard]] bool netif_parse_line(const char *line, bool compressed, netif *out);
