#include "modemd/sierra_transport.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "common/bytes.h"
#include "modemd/cns.h"
#include "modemd/globals.h"
#include "modemd/modem_port.h"
#include "modemd/port_capture.h"
#include "platform/console.h"
#include "platform/eventloop.h"
#include "platform/utils.h"

namespace {

constexpr int kAnswerWait = 2;  // seconds
const uint8_t kAppId[4] = {0x78, 0x56, 0x34, 0x12};

uint8_t g_tx[kSierraFrameBuf];
uint8_t g_rx[kSierraFrameBuf];

int exchange(int fd, uint8_t *frame, int len, uint8_t *answer, int cap, uint8_t req_type,
             uint8_t ans_type) {
    if (len < 0 || len > kSierraFrameBuf / 2 - kSierraHeaderLen) return -1;
    put_be16(frame, static_cast<uint16_t>(len));
    frame[2] = req_type;
    frame[3] = 0;
    int total = kSierraHeaderLen + len;
    if (debug > 0) dump_buf("Cns_CMD", frame, static_cast<size_t>(total));
    if (sierra_write(fd, frame, total) < 0) return -1;
    if (waitfor(fd, kAnswerWait) <= 0) return -1;
    int n = sierra_read(fd, answer, cap);
    if (n < 0) return -1;
    if (debug > 0) dump_buf("Cns_RSP", answer, static_cast<size_t>(n));
    if (n < kSierraHeaderLen || answer[2] != ans_type) return -1;
    memmove(answer, answer + kSierraHeaderLen, static_cast<size_t>(n - kSierraHeaderLen));
    return n - kSierraHeaderLen;
}

// Writes a request of `payload_len` payload bytes (already at frame + 14) and runs it.
int request(int fd, uint8_t *frame, uint16_t obj, uint8_t op, int payload_len, uint8_t *answer,
            int cap) {
    uint8_t *msg = frame + kSierraHeaderLen;
    put_be16(msg, obj);
    msg[2] = op;
    msg[3] = 0;
    memcpy(msg + 4, kAppId, sizeof kAppId);
    msg[8] = 0;
    msg[9] = static_cast<uint8_t>(payload_len);
    return sierra_cns_cmd(fd, frame, kCnsHeaderLen + payload_len, answer, cap);
}

// Copies the payload of a CnS answer of `n` bytes, after checking it is all there.
int copy_payload(const uint8_t *answer, int n, uint8_t *out, int out_cap, uint16_t obj) {
    if (n < kCnsHeaderLen) return -1;
    int len = answer[9];
    if (len > n - kCnsHeaderLen || len > out_cap) {
        console_fprintf_limited(
            stdout,
            "sierra: answer for object %04x claims %d payload bytes, has %d, room %d: "
            "dropped\n",
            obj, len, n - kCnsHeaderLen, out_cap);
        return -1;
    }
    memcpy(out, answer + kCnsHeaderLen, static_cast<size_t>(len));
    return len;
}

}  // namespace

int sierra_write(int fd, const uint8_t *msg, int len) {
    if (!modem_port_ok(fd) || len < 0) return -1;
    size_t flen = 0;
    if (cns_encode(msg, static_cast<size_t>(len), g_tx, sizeof g_tx, &flen) < 0) return -1;
    ssize_t n = write(fd, g_tx, flen);
    if (n > 0) port_capture_sent(g_tx, static_cast<size_t>(n));
    return n == static_cast<ssize_t>(flen) ? static_cast<int>(flen) : -1;
}

int sierra_read(int fd, uint8_t *out, int cap) {
    ssize_t n = modem_port_read(fd, g_rx, sizeof g_rx);
    if (n < kSierraMinRead || n > cap) return -1;
    size_t len = 0;
    return cns_decode(g_rx, static_cast<size_t>(n), out, &len);
}

int sierra_cns_cmd(int fd, uint8_t *frame, int len, uint8_t *answer, int cap) {
    return exchange(fd, frame, len, answer, cap, kSierraTypeCnsReq, kSierraTypeCnsAns);
}

int sierra_diag_cmd(int fd, uint8_t *frame, int len, uint8_t *answer, int cap) {
    return exchange(fd, frame, len, answer, cap, kSierraTypeDiagReq, kSierraTypeDiagAns);
}

int sierra_cns_get_xxx(int fd, uint8_t *out, int out_cap, uint16_t obj) {
    uint8_t frame[kSierraHeaderLen + kSierraRequestArea];
    uint8_t answer[kSierraAnswerCap];
    int n = request(fd, frame, obj, kCnsOpGet, 0, answer, sizeof answer);
    if (n < kCnsHeaderLen || answer[2] != kCnsOpGetAnswer) return -1;
    return copy_payload(answer, n, out, out_cap, obj);
}

int sierra_cns_get_xxx_arg(int fd, uint8_t *out, int out_cap, uint16_t obj, uint16_t arg) {
    uint8_t frame[kSierraHeaderLen + kSierraRequestArea];
    uint8_t answer[kSierraAnswerCap];
    put_be16(frame + kSierraHeaderLen + kCnsHeaderLen, arg);
    int n = request(fd, frame, obj, kCnsOpGet, 2, answer, sizeof answer);
    if (n < 0) return -1;
    return copy_payload(answer, n, out, out_cap, obj);
}

int sierra_cns_set_xxx(int fd, const uint8_t *value, int len, uint16_t obj) {
    if (len < 0 || len > kSierraMaxSetValue) return -1;
    uint8_t frame[kSierraHeaderLen + kSierraRequestArea];
    uint8_t answer[kSierraAnswerCap];
    memcpy(frame + kSierraHeaderLen + kCnsHeaderLen, value, static_cast<size_t>(len));
    int n = request(fd, frame, obj, kCnsOpSet, len, answer, sizeof answer);
    if (n < kCnsHeaderLen || answer[2] != kCnsOpSetAnswer) return -1;
    return len;
}

int sierra_cns_notice_enable_xxx(int fd, uint16_t obj, bool enable) {
    uint8_t frame[kSierraHeaderLen + kSierraRequestArea];
    uint8_t answer[kSierraAnswerCap];
    uint8_t op = enable ? kCnsOpNoticeEnable : kCnsOpNoticeDisable;
    return request(fd, frame, obj, op, 0, answer, sizeof answer) < 0 ? -1 : 0;
}

int sierra_cns_get_int32(int fd, uint32_t *value, uint16_t obj) {
    uint8_t v[kSierraAnswerCap];
    if (sierra_cns_get_xxx(fd, v, sizeof v, obj) != 4) return -1;
    *value = get_be32(v);
    return 4;
}

int sierra_cns_get_int16(int fd, uint16_t *value, uint16_t obj) {
    uint8_t v[kSierraAnswerCap];
    if (sierra_cns_get_xxx(fd, v, sizeof v, obj) != 2) return -1;
    *value = get_be16(v);
    return 2;
}

int sierra_cns_set_int32(int fd, uint32_t value, uint16_t obj) {
    uint8_t v[4];
    put_be32(v, value);
    return sierra_cns_set_xxx(fd, v, 4, obj);
}

int sierra_cns_set_int16(int fd, uint16_t value, uint16_t obj) {
    uint8_t v[2];
    put_be16(v, value);
    return sierra_cns_set_xxx(fd, v, 2, obj);
}

int sierra_cns_get_string(int fd, char *out, int out_cap, uint16_t obj) {
    if (out_cap < 1) return -1;
    out[0] = '\0';
    uint8_t v[kSierraAnswerCap];
    int n = sierra_cns_get_xxx(fd, v, sizeof v, obj);
    if (n <= 0) return -1;
    if (n > out_cap - 1) n = out_cap - 1;
    memcpy(out, v, static_cast<size_t>(n));
    out[n] = '\0';
    return n;
}
