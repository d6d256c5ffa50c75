#include "modemd/cdu.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "common/bytes.h"
#include "modemd/crc_frame.h"
#include "modemd/families.h"
#include "modemd/globals.h"
#include "modemd/modem_port.h"
#include "modemd/nmea.h"
#include "platform/eventloop.h"
#include "platform/utils.h"

msgcmd_link cdu_msg2cmd_node_list = {&cdu_msg2cmd_node_list, &cdu_msg2cmd_node_list};
int cdu_fd = -1;

namespace {

constexpr int kAnswerCap = 256;
constexpr int kMaxData = 16;
constexpr int kStatusPolls = 6;
constexpr uint8_t kCodeEsn = 0x01;
constexpr uint8_t kCodeGpsControl = 0xD7;
constexpr uint8_t kCodeGpsSentence = 0xD8;
constexpr uint8_t kCodeGpsStatus = 0xD9;

CrcFrameBuffers g_bufs;

int gps_control(int fd, uint8_t a, uint8_t b) {
    uint8_t data[2] = {a, b};
    uint8_t answer[kAnswerCap];
    return cdu_cns_cmd(fd, kCodeGpsControl, data, 2, answer, sizeof answer);
}

}  // namespace

int cdu_write(int fd, uint8_t *data, int len) {
    return crc_frame_write(&g_bufs, fd, data, len);
}

int cdu_read(int fd, uint8_t *out, int cap) {
    return crc_frame_read(&g_bufs, fd, out, cap);
}

int cdu_cns_cmd(int fd, uint8_t code, const uint8_t *data, int len, uint8_t *answer, int cap) {
    if (len < 0 || len > kMaxData) return -1;
    uint8_t frame[1 + kMaxData + 2];  // code, data, room for the check value
    frame[0] = code;
    if (len) memcpy(frame + 1, data, static_cast<size_t>(len));
    if (debug > 0) dump_buf("Cns_CMD", frame, static_cast<size_t>(len) + 1);
    if (cdu_write(fd, frame, len + 1) < 0) return -1;
    if (waitfor(fd, 2) <= 0) return -1;
    int n = cdu_read(fd, answer, cap);
    if (n < 1) return -1;
    if (debug > 0) dump_buf("Cns_RSP", answer, static_cast<size_t>(n));
    memmove(answer, answer + 1, static_cast<size_t>(n - 1));
    return n - 1;
}

int cdu_cns_get_xxx(int fd, uint8_t code, uint8_t *out, int out_cap) {
    uint8_t answer[kAnswerCap];
    int n = cdu_cns_cmd(fd, code, nullptr, 0, answer, sizeof answer);
    if (n < 0 || n > out_cap) return -1;
    memcpy(out, answer, static_cast<size_t>(n));
    return n;
}

int cdu_cns_get_int32(int fd, uint8_t code, uint32_t *value) {
    uint8_t v[4];
    if (cdu_cns_get_xxx(fd, code, v, sizeof v) != 4) return -1;
    *value = get_be32(v);
    return 4;
}

int cdu_cns_notice(fd_desc *desc) {
    uint8_t junk[kAnswerCap];
    ssize_t n = modem_port_read(desc->fd, junk, sizeof junk);
    if (n > 0 && debug > 0) dump_buf("CDU dropped", junk, static_cast<size_t>(n));
    return 0;
}

void gps_reply_build(const gps_info &info, uint8_t *reply) {
    // An NMEA sentence carries no time stamp: the record's time word stays 0.
    gps_record_encode({0, info.latitude, info.longitude, info.height}, reply);
}

int cdu_esn_get(uint8_t *, int, uint8_t *reply, int cap) {
    uint32_t esn;
    if (cap < 4 || cdu_cns_get_int32(cdu_fd, kCodeEsn, &esn) < 0) return -1;
    put_host32(reply, esn);
    return 4;
}

int cdu_gps_get(uint8_t *, int, uint8_t *reply, int cap) {
    int fd = cdu_fd;
    if (cap < kGpsReplyLen) return -1;
    if (gps_control(fd, 0x04, 0x00) < 0 || gps_control(fd, 0x01, 0x02) < 0 ||
        gps_control(fd, 0x02, 0x00) < 0)
        return -1;
    uint8_t answer[kAnswerCap];
    for (int poll = 0; poll < kStatusPolls; ++poll) {
        const uint8_t zero = 0;
        int n = cdu_cns_cmd(fd, kCodeGpsStatus, &zero, 1, answer, sizeof answer);
        if (n < 0) return -1;
        if (n >= 2 && answer[1] == 0) break;
        env_sleep(1);
    }
    if (gps_control(fd, 0x00, 0x00) < 0) return -1;
    int n = cdu_cns_cmd(fd, kCodeGpsSentence, nullptr, 0, answer, sizeof answer);
    if (n < 0) return -1;
    char sentence[kAnswerCap + 1];
    memcpy(sentence, answer, static_cast<size_t>(n));
    sentence[n] = '\0';  // the card sends no terminator
    gps_info info{};
    // Text that is not a sentence leaves the record empty: the reply then carries no fix.
    (void)parse_gps_string(sentence, &info);
    gps_reply_build(info, reply);
    return kGpsReplyLen;
}

int cdu_init(const char *port) {
    int fd = modem_port_open(port);
    if (fd < 0) return -1;
    cdu_fd = fd;
    msg2cmd_init(&cdu_msg2cmd_node_list);
    printf("\n\n####################### Hardware Refrence ############################### \n");
    uint32_t esn;
    if (cdu_cns_get_int32(fd, kCodeEsn, &esn) > 0)
        printf("ESN: %08x (Hex) or %u (Decimal)\n", esn, esn);
    if (!register_msgcmd_handler(&cdu_msg2cmd_node_list, 1, cdu_esn_get) ||
        !register_msgcmd_handler(&cdu_msg2cmd_node_list, 210, cdu_gps_get))
        printf("cdu: no memory for the command handlers: commands go unanswered\n");
    if (register_fd_desc(fd, cdu_cns_notice, nullptr) < 0)
        printf("cdu: cannot watch the card port: stray bytes are not dropped\n");
    return fd;
}
