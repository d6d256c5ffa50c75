#include "serbridge/lcp.h"

#include "common/bytes.h"
#include "platform/eventloop.h"
#include "serbridge/log.h"
#include "serbridge/ports.h"

const uint8_t termreq_data[kTermreqLen] = {0xC0, 0x21, 0x05, 0x0F, 0x00, 0x10, 'U', 's', 'e',
                                           'r',  ' ',  'r',  'e',  'q',  'u',  'e', 's', 't'};

int parse_lcp_header(const uint8_t *frame, int len, uint16_t *proto, uint8_t *code, uint8_t *id,
                     uint16_t *lcp_len) {
    if (!frame || len < 6) return -1;
    *proto = get_be16(frame);
    if (*proto != kProtoLcp) return -1;
    *code = frame[2];
    *id = frame[3];
    *lcp_len = get_be16(frame + 4);
    return 0;
}

void dump_frame(const uint8_t *data, int len) {
    if (!verbose) return;
    static const char kHex[] = "0123456789abcdef";
    for (int off = 0; off < len; off += 16) {
        char hex[16 * 3 + 1], text[16 + 1];
        char *h = hex;
        for (int i = 0; i < 16; ++i) {
            if (off + i < len) {
                uint8_t b = data[off + i];
                *h++ = kHex[b >> 4];
                *h++ = kHex[b & 0xF];
                *h++ = ' ';
                text[i] = b >= 0x20 && b < 0x7F ? static_cast<char>(b) : '.';
            } else {
                *h++ = ' ';
                *h++ = ' ';
                *h++ = ' ';
                text[i] = ' ';
            }
        }
        *h = '\0';
        text[16] = '\0';
        loginfo("%s    <==========>    %s", hex, text);
    }
}

void wait_termack(bridge_ctx *ctx, int fd, int window, const char *found, int pass_fd) {
    if (fd <= 0) return;
    uint8_t buf[kFrameBuf];
    for (;;) {
        if (waitfor(fd, window) <= 0) return;
        int n = recv_ppp(ctx, fd, buf);
        if (n <= 0) return;
        uint16_t proto, lcp_len;
        uint8_t code, id;
        if (parse_lcp_header(buf, n, &proto, &code, &id, &lcp_len) == 0 && code == kTermAck) {
            loginfo("%s", found);
            if (pass_fd > 0) write_full(pass_fd, buf, static_cast<size_t>(n));
            return;
        }
    }
}
