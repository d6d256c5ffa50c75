// The discovery service: a UDP service on the LAN (port 2719, broadcast allowed) through
// which a scan tool finds the router, reads its identity and addresses, and sets its LAN
// address and netmask, SNMP community and WAN reconnect interval (then the router reboots).
// Records are the 696 bytes of common/lan_records.h. Main thread (the event loop).
#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>

#include "common/lan_records.h"
#include "platform/eventloop.h"

// Only type 1 (UDP): broadcast and address reuse on, bound to port RMAGENT_DISCOVERY_PORT
// (2719) on all addresses (a socket bound to one address never sees broadcasts, so
// RMAGENT_ADDR does not apply), scantools_handler registered. The descriptor, or -1 with a
// console line.
[[nodiscard]] int scantools_open(int type);

// Receives one datagram; a malformed one is dropped with its console line and the service
// stays up.
int scantools_handler(fd_desc *desc);

// Runs the opcode's row of scantools_command_table for a checked datagram; the handler
// replies to `sender`. -1 when no row has the opcode.
[[nodiscard]] int scantools_msg_dispatch(fd_desc *desc, const uint8_t *data, size_t len,
                                         const sockaddr_in *sender, socklen_t sender_len);

// Why the set `r` must be refused whole, or nullptr when it may be carried out. `cur_addr`
// and `cur_mask` are the LAN address and netmask now (network order; 0 when unknown): a new
// address is checked against the new netmask when the set carries one, else the current one;
// a new netmask alone is checked against the current address.
const char *scantools_set_refusal(const discovery_record &r, uint32_t cur_addr, uint32_t cur_mask);
