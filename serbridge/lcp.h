// The little of LCP the bridge looks at, in the first 6 bytes of a channel frame:
//
//   bytes 0-1  protocol, big-endian (0xC021 is LCP)
//   byte  2    code: 1 Configure-Request, 2 Configure-Ack, 5 Terminate-Request, 6 Terminate-Ack
//   byte  3    identifier
//   bytes 4-5  length, big-endian
//
// and its own Terminate-Request, the Terminate-Ack waits and the frame dumps. Main thread.
#pragma once

#include <cstddef>
#include <cstdint>

#include "serbridge/bridge.h"

inline constexpr uint16_t kProtoLcp = 0xC021;
inline constexpr uint8_t kConfReq = 1, kConfAck = 2, kTermReq = 5, kTermAck = 6;

// The bridge's own Terminate-Request: LCP, code 5, identifier 15, length 16, "User request".
inline constexpr size_t kTermreqLen = 18;
extern const uint8_t termreq_data[kTermreqLen];

// 0 for an LCP frame of at least 6 bytes (fields filled in), -1 otherwise.
[[nodiscard]] int parse_lcp_header(const uint8_t *frame, int len, uint16_t *proto, uint8_t *code,
                                   uint8_t *id, uint16_t *lcp_len);

// With -d: the bytes as hex and text columns, 16 to a trace line.
void dump_frame(const uint8_t *data, int len);

// Waits for an LCP Terminate-Ack on channel `fd`, at most `window` seconds after the last frame
// received; other frames are dropped. On the Ack, traces `found` and passes the Ack on to
// `pass_fd` when that is open (above 0). Stops at a time-out or a read of nothing.
void wait_termack(bridge_ctx *ctx, int fd, int window, const char *found, int pass_fd);
