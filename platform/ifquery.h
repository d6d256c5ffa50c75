// What the kernel knows of one network interface: addresses, flags, hardware address and
// type, metric, MTU. Reentrant; safe from any thread.
//
// On the board each figure is one ioctl on a datagram socket. On a development host (a
// router root is set) the host's interfaces are never asked: the figures are read from
// files under the router root, in the directory "/sys/class/net/NAME/":
//   flags    interface flags, "0x1043" (hex) or decimal (IFF_UP is 0x1, IFF_RUNNING 0x40)
//   address  hardware address "00:90:4c:01:02:03"
//   type     hardware type (ARPHRD_*, decimal: 1 Ethernet, 772 loopback, 512 PPP)
//   mtu      decimal        metric   decimal
//   ipv4     "ADDRESS BROADCAST NETMASK", dotted
// A missing file is a failed query.
#pragma once

#include <cstdint>

struct if_facts {
    uint32_t addr;       // IPv4 address, network order
    uint32_t broadaddr;  // network order
    uint32_t netmask;    // network order
    unsigned flags;
    uint8_t hwaddr[6];
    int hwtype;  // ARPHRD_* type, or -1 when unknown
    int metric;
    int mtu;
};

// Fills `out` for interface `name`; every figure whose query fails is left zero (`hwtype`
// -1). `sock` is a datagram socket for the queries (unused under a router root). Returns
// the number of figures obtained.
int if_query(int sock, const char *name, if_facts *out);
