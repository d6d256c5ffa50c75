// Notifications from a Sierra card, written to the console.
#include <cstdio>
#include <cstring>

#include "common/bytes.h"
#include "modemd/globals.h"
#include "modemd/sierra.h"
#include "modemd/sierra_transport.h"
#include "platform/console.h"
#include "platform/eventloop.h"
#include "platform/utils.h"

namespace {

constexpr int kObjOffset = kSierraHeaderLen;                      // object id in the frame
constexpr int kPayloadOffset = kSierraHeaderLen + kCnsHeaderLen;  // 14: first payload word

}  // namespace

int sierra_cns_notice(fd_desc *desc) {
    uint8_t frame[kSierraAnswerCap];
    int n = sierra_read(desc->fd, frame, sizeof frame);
    if (n < 0) return -1;
    if (debug > 0) dump_buf("Cns_RSP", frame, static_cast<size_t>(n));
    return sierra_cns_notice_hander(desc->fd, frame, n);
}

int sierra_cns_notice_hander(int, const uint8_t *frame, int len) {
    if (len < kObjOffset + 2) {
        console_fprintf_limited(
            stdout, "sierra: notification of %d bytes has no object id: dropped\n", len);
        return -1;
    }
    uint16_t obj = get_be16(frame + kObjOffset);
    switch (obj) {
        case kObjHeartbeat:
            console_printf_limited("Receive Heardbeat OID packet. \n");
            return len;
        case kObjSmsSendStatus:
            if (len < kPayloadOffset + 6) {
                console_fprintf_limited(
                    stdout, "sierra: send status notification of %d bytes is short: dropped\n",
                    len);
                return -1;
            }
            console_printf_limited(
                "Receive Send Status OID packet. MsgID:%04x;ErrorCode:%04x;CauseCode:%04x\n",
                get_be16(frame + kPayloadOffset), get_be16(frame + kPayloadOffset + 2),
                get_be16(frame + kPayloadOffset + 4));
            return len;
        default:
            console_printf_limited("Unknown (%04x) OID received \n", obj);
            return -1;
    }
}
