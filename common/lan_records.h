// The two LAN-side wire formats of the management agent, laid out once for the agent
// (rmagent) and the PC-side client (tools/lanctl). Pure computation, any thread.
//
// Desktop-manager message header (TCP), 12 bytes, big-endian:
//   off  size  field
//   0    4     tag       not interpreted; echoed in the response
//   4    2     command   1 wwan_connect, 2 wwan_disconnect, 3 status, 4 (accepted, no response)
//   6    1     spare     not interpreted; echoed
//   7    1     type      1 request, 2 response
//   8    4     length    of the whole message, header included
// Response, 16 bytes: the request's header with type 2 and length 16, then a 32-bit result.
//
// Discovery record (UDP), 696 bytes in both directions, big-endian:
//   off  size  field                                                 flag
//   0    1     signature 0xBA (requests may also carry 0xAB)
//   1    1     opcode: 1 get information, 2 information reply, 3 set, 4 set reply
//   2    2     field flags
//   4    32    SNMP community (reply: "*****" and zeros)             0x0001
//   36   6     LAN hardware address (reply)                          0x0010
//   42   2     zero
//   44   4     LAN IPv4 address (reply: 0x0002; set: 0x0004)
//   48   292   product model, NUL-terminated (reply)
//   340  4     firmware server IPv4 address (reply)                  0x0040
//   344  256   firmware file name, NUL-terminated (reply)            0x0080
//   600  4     LAN netmask (reply: 0x0004; set: 0x0100)
//   604  4     zero
//   608  4     the value 1 (reply)                                   0x0400
//   612  80    zero
//   692  4     WAN reconnect interval, seconds                       0x2000
// IPv4 addresses are kept in network order (as in in_addr.s_addr) in the records below.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr size_t kDeskmgrHeaderSize = 12;
inline constexpr size_t kDeskmgrResponseSize = 16;
inline constexpr uint8_t kDeskmgrRequest = 1;
inline constexpr uint8_t kDeskmgrResponse = 2;

struct deskmgr_header {
    uint32_t tag;
    uint16_t command;
    uint8_t spare;
    uint8_t type;
    uint32_t length;
};

// Reads the header from data[0..len). false when len is short of a header.
[[nodiscard]] bool deskmgr_header_decode(const uint8_t *data, size_t len, deskmgr_header *out);
void deskmgr_header_encode(const deskmgr_header &h, uint8_t out[kDeskmgrHeaderSize]);
// The response to `request`: its header with type 2 and length 16, then `result`.
void deskmgr_response_encode(const deskmgr_header &request, uint32_t result,
                             uint8_t out[kDeskmgrResponseSize]);

inline constexpr size_t kDiscoveryRecordSize = 696;
inline constexpr uint8_t kDiscoverySignature = 0xBA;
inline constexpr uint8_t kDiscoverySignatureAlt = 0xAB;
inline constexpr size_t kDiscoveryCommunitySize = 32;
inline constexpr size_t kDiscoveryModelSize = 292;
inline constexpr size_t kDiscoveryFileSize = 256;

enum discovery_opcode : uint8_t {
    kDiscoveryGetInfo = 1,
    kDiscoveryInfoReply = 2,
    kDiscoverySet = 3,
    kDiscoverySetReply = 4,
};

enum discovery_flag : uint16_t {
    kFlagCommunity = 0x0001,
    kFlagReplyLanAddr = 0x0002,
    kFlagSetLanAddr = 0x0004,  // in a reply: the netmask
    kFlagReplyNetmask = 0x0004,
    kFlagHwaddr = 0x0010,
    kFlagFwServer = 0x0040,
    kFlagFwFile = 0x0080,
    kFlagSetNetmask = 0x0100,
    kFlagOne = 0x0400,
    kFlagReconnect = 0x2000,
};
inline constexpr uint16_t kDiscoveryInfoFlags = 0x24D7;

struct discovery_record {
    uint8_t signature;
    uint8_t opcode;
    uint16_t flags;
    char community[kDiscoveryCommunitySize + 1];  // NUL-terminated, at most 32 characters
    uint8_t hwaddr[6];
    uint32_t lan_addr;
    char model[kDiscoveryModelSize];  // NUL-terminated (the last byte is always NUL)
    uint32_t fw_server;
    char fw_file[kDiscoveryFileSize];  // NUL-terminated (the last byte is always NUL)
    uint32_t netmask;
    uint32_t one;
    uint32_t reconnect;
};

enum discovery_parse_result {
    kDiscoveryOk,
    kDiscoveryTooShort,
    kDiscoveryBadSignature,
};

// Writes all 696 bytes, zeros included; texts are cut to their field (a NUL always ends the
// model and the file name).
void discovery_encode(const discovery_record &rec, uint8_t out[kDiscoveryRecordSize]);

// Reads a record from data[0..len): kDiscoveryTooShort below 696 bytes, kDiscoveryBadSignature
// for a signature other than 0xBA or 0xAB (`*out` untouched in both cases). Bytes past 696
// are ignored. Texts come back NUL-terminated whatever the bytes held.
[[nodiscard]] discovery_parse_result discovery_decode(const uint8_t *data, size_t len,
                                                      discovery_record *out);

// What the agent accepts in a set (the client checks the same before sending), so that the
// router cannot come back from its reboot unreachable from its LAN. Addresses and masks in
// network order.
// A netmask of contiguous ones from 255.0.0.0 to 255.255.255.252.
[[nodiscard]] bool lan_netmask_valid(uint32_t netmask);
// An address a LAN host can have: not 0.0.0.0, not 127.0.0.0/8, below 224.0.0.0, and (with a
// netmask other than 0) neither the network nor the broadcast address of its subnet.
[[nodiscard]] bool lan_host_addr_valid(uint32_t addr, uint32_t netmask);
