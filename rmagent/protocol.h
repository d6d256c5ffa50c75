// The management datagrams between the agent and its server: the 36-byte header and the
// payloads the agent builds. Builders write into the session's transmit buffer (which keeps
// what the last datagram left in it); the parser takes a pointer and the bytes received.
// Main thread only.
//
// Header (multi-byte fields big-endian):
//   off  size  field
//   0    8     session_id   zero in the register request, else the value adopted last
//   8    4     version      00 01 00 00 in the register request; otherwise left as it stands
//   12   12    serial       nvram "SN", NUL-padded, no terminator when 12 long
//   24   4     seq
//   28   2     oid          what the message is
//   30   2     kind         agent: 0 request/report, 1 ack, 2 fragment request, 4 GPS report
//                           server: 0 or 2 request, 1 or 3 acknowledgement
//   32   2     magic        0x006B from the agent, 0x002B from the server
//   34   2     payloadlen
//   36   ...   payload
//
// Register record (payload of oid 1, 200 bytes):
//   0    4     uptime in seconds, big-endian
//   4    4     WAN address: inet_network() of nvram "wan0_ipaddr", little-endian
//   8    64    management domain        72  64  firmware version      136  64  product model
//
// Variable batch (oid 3 and 4, and the server's configuration request):
//   0    2     variable_type (0 plain, 1 wireless unit, 2 WAN unit)
//   2    2     unit
//   4    ...   "name=value\0" entries back to back
#pragma once

#include <cstddef>
#include <cstdint>

#include "rmagent/session.h"

inline constexpr size_t kRcmHeaderLen = 36;
inline constexpr size_t kRegisterRecordLen = 200;
inline constexpr size_t kBatchPrefixLen = 4;
// Room for the text of a variable batch, and for the payload of a log or GPS report.
inline constexpr size_t kBatchTextRoom = kRcmBufSize - kRcmHeaderLen - kBatchPrefixLen;
inline constexpr size_t kReportRoom = kRcmBufSize - kRcmHeaderLen;

inline constexpr uint16_t kAgentMagic = 0x006B;
inline constexpr uint16_t kServerMagic = 0x002B;

enum RcmOid : uint16_t {
    kOidRegister = 1,
    kOidLog = 2,
    kOidConfigBatch = 3,
    kOidStatusBatch = 4,
    kOidFragment = 6,
    kOidKeepalive = 7,
    kOidGps = 9,
    kOidUpgrade = 0x0100,
    kOidConfig = 0x0101,
    kOidCommitReboot = 0x0102,
    kOidRestoreDefaults = 0x0103,
    kOidSendStatus = 0x0104,
};

enum RcmKind : uint16_t { kKindRequest = 0, kKindAck = 1, kKindFragment = 2, kKindGps = 4 };

struct rcm_header {
    uint32_t seq;
    uint16_t oid;
    uint16_t kind;
    uint16_t magic;
    uint16_t payloadlen;
};

enum RcmParse { kRcmParsed = 0, kRcmTooShort = -1, kRcmBadLength = -2 };

// Reads the header of a received datagram of `len` bytes. kRcmTooShort below 36 bytes;
// kRcmBadLength when payloadlen claims more bytes than arrived.
[[nodiscard]] RcmParse rcm_parse_header(const uint8_t *buf, size_t len, rcm_header *out);

// Writes a header into tx_buf for an agent datagram other than the register request and the
// acknowledgements: session_id, serial, the current seq, oid, kind, magic 0x006B, payloadlen.
// Returns the header length.
size_t rcm_build_header(rcm_session *s, uint16_t oid, uint16_t kind, uint16_t payloadlen);

// The whole register request (236 bytes) in tx_buf. Returns its length.
[[nodiscard]] size_t rcm_build_register(rcm_session *s, uint32_t uptime, const char *wan_ipaddr);

// The acknowledgement of the request whose 36-byte header is at `request`: that header with
// kind 1, magic 0x006B, payloadlen 0, in tx_buf. Returns 36.
[[nodiscard]] size_t rcm_build_ack(rcm_session *s, const uint8_t *request);

// The GPS report "lat=...;long=..." in tx_buf (values cut to fit). Returns its length.
[[nodiscard]] size_t rcm_build_gps(rcm_session *s, const char *lat, const char *lon);

// A fragment request for `index` in tx_buf; uses the current seq, then increments it.
// Returns its length (40).
[[nodiscard]] size_t rcm_build_fragment_request(rcm_session *s, uint16_t index);
