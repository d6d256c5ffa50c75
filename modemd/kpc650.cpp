#include "modemd/kpc650.h"

#include <unistd.h>

#include <cstdio>

#include "common/bytes.h"
#include "modemd/crc_frame.h"
#include "modemd/families.h"
#include "modemd/globals.h"
#include "modemd/modem_port.h"
#include "modemd/port_capture.h"
#include "platform/console.h"
#include "platform/eventloop.h"
#include "platform/utils.h"

msgcmd_link kpc650_msg2cmd_node_list = {&kpc650_msg2cmd_node_list, &kpc650_msg2cmd_node_list};
int kpc650_fd = -1;

namespace {

constexpr int kNoticeCap = 256;
constexpr int kOffCommand = 2;
constexpr int kOffChannel = 8;
constexpr int kOffMsgtype = 10;
constexpr int kFieldsLen = kOffMsgtype + 2;

CrcFrameBuffers g_bufs;

}  // namespace

int kpc650_write(int fd, uint8_t *data, int len) {
    return crc_frame_write(&g_bufs, fd, data, len);
}

int kpc650_read(int fd, uint8_t *out, int cap) {
    return crc_frame_read(&g_bufs, fd, out, cap);
}

int kpc650_diag_cmd_cait_data(uint8_t *req, int req_len, uint8_t *reply, int cap) {
    int fd = kpc650_fd;
    if (!modem_port_ok(fd) || req_len < 0) return -1;
    if (debug > 0) dump_buf("Cns_CMD", req, static_cast<size_t>(req_len));
    ssize_t w = write(fd, req, static_cast<size_t>(req_len));
    if (w > 0) port_capture_sent(req, static_cast<size_t>(w));
    if (w != req_len) return -1;
    if (waitfor(fd, 2) <= 0) return -1;
    ssize_t n = modem_port_read(fd, reply, static_cast<size_t>(cap));
    if (n < 0) return -1;
    if (debug > 0) dump_buf("Cns_RSP", reply, static_cast<size_t>(n));
    return static_cast<int>(n);
}

int kpc650_cns_notice(fd_desc *desc) {
    uint8_t frame[kNoticeCap];
    int n = kpc650_read(desc->fd, frame, sizeof frame);
    if (n < 0) return -1;
    return kpc650_cns_notice_handler(desc->fd, frame, n);
}

int kpc650_cns_notice_handler(int fd, uint8_t *frame, int len) {
    if (len < kFieldsLen) {
        console_fprintf_limited(
            stdout, "kpc650: frame of %d bytes is too short for its fields: dropped\n", len);
        return -1;
    }
    int command = frame[kOffCommand], channel = frame[kOffChannel];
    int msgtype = get_be16(frame + kOffMsgtype);
    if (command == 1 && channel == 0 && msgtype == 3) return kpc650_write(fd, frame, len);
    printf("receive notice information: \n");
    printf("                   COMMAND: %d\n", command);
    printf("                   CHANNEL: %d\n", channel);
    printf("                   MSGTYPE: %d\n", msgtype);
    return len;
}

int kpc650_init(const char *port) {
    int fd = modem_port_open(port);
    if (fd < 0) return -1;
    kpc650_fd = fd;
    printf("\n\n####################### Hardware Refrence ############################### \n");
    if (!register_msgcmd_handler(&kpc650_msg2cmd_node_list, 200, kpc650_diag_cmd_cait_data))
        printf("kpc650: no memory for the command handler: commands go unanswered\n");
    if (register_fd_desc(fd, kpc650_cns_notice, nullptr) < 0)
        printf("kpc650: cannot watch the card port: keep-alives are not answered\n");
    return fd;
}
