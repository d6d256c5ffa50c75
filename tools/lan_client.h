// The PC side of the router's LAN services: finding routers and setting their LAN figures
// over the discovery service (UDP 2719), and driving the WAN link over the desktop-manager
// service (TCP 5000). The records are those of common/lan_records.h. Host program code (the
// standard library is fine here); not thread-safe per call, reentrant across calls.
#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Exit statuses of lanctl, also what the operations below return.
enum LanStatus {
    kLanOk = 0,        // done / answered
    kLanRefused = 1,   // the router answered that it did not do it
    kLanNoAnswer = 2,  // nothing (valid) came back in time, or no connection
    kLanBadReply = 3,  // only malformed replies came back
    kLanUsage = 4,     // bad arguments, or refused here before anything was sent
};

struct RouterInfo {
    in_addr from{};  // where the reply came from
    uint16_t flags = 0;
    std::string model;
    uint8_t mac[6] = {};
    uint32_t lan_addr = 0;  // network order
    uint32_t netmask = 0;   // network order
    uint32_t reconnect = 0;
};

// Reply parsers: true when `data[0..len)` is exactly a 696-byte information reply (signature
// 0xBA, opcode 2) / set reply (opcode 4); otherwise false with the reason in `why`.
[[nodiscard]] bool lan_parse_info_reply(const uint8_t *data, size_t len, RouterInfo *out,
                                        std::string *why);
[[nodiscard]] bool lan_parse_set_reply(const uint8_t *data, size_t len, std::string *why);
// The 16-byte response to the request whose header is `request`: it must echo the request
// (tag, command, spare byte) with type 2 and length 16.
[[nodiscard]] bool lan_parse_deskmgr_response(const uint8_t *data, size_t len,
                                              const uint8_t request[12], uint32_t *result,
                                              std::string *why);

// One line for a person: address, model, MAC, LAN address and netmask, reconnect interval
// (a figure whose flag the reply lacks shows as "-").
std::string lan_format_info(const RouterInfo &info);

// True when `addr` (network order) is a broadcast or multicast address from here: the
// limited broadcast, a multicast group, or an address the kernel routes as a broadcast
// (e.g. 127.255.255.255, or a LAN's x.x.x.255).
bool lan_is_broadcast(uint32_t addr);

struct LanSet {
    bool has_lan = false, has_netmask = false, has_community = false, has_interval = false;
    uint32_t lan = 0, netmask = 0;  // network order
    std::string community;          // at most 32 characters
    uint32_t interval = 0;
};

// Finds routers at `to` (a router or a broadcast address): asks once a second and collects
// the replies (one per address) until `timeout_ms` passes, or until the first for a unicast
// address. kLanOk with at least one router; `notes` gets a line per malformed reply.
[[nodiscard]] LanStatus lan_find(const sockaddr_in &to, int timeout_ms,
                                 std::vector<RouterInfo> *found, std::vector<std::string> *notes);

// Sends the set to the one router at `to` and waits for its set reply. kLanUsage (nothing
// sent) for a broadcast address or a figure the router would refuse; `why` says what.
[[nodiscard]] LanStatus lan_set(const sockaddr_in &to, const LanSet &set, int timeout_ms,
                                std::string *why);

// Desktop-manager command 1 (up), 2 (down) or 3 (state) to the router at `to`; `result` is
// the router's result field.
[[nodiscard]] LanStatus lan_wan(const sockaddr_in &to, uint16_t command, int timeout_ms,
                                uint32_t *result, std::string *why);
