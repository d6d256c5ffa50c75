#include "serbridge/at_phase.h"

#include <strings.h>

#include <cstdlib>
#include <cstring>

#include "platform/eventloop.h"
#include "serbridge/handlers.h"
#include "serbridge/lcp.h"
#include "serbridge/link.h"
#include "serbridge/log.h"
#include "serbridge/ports.h"
#include "serbridge/ppp_channel.h"

at_line_buf at_line;

namespace {

bool is_eol(char c) {
    return c == '\r' || c == '\n';
}

void dial(bridge_ctx *ctx) {
    // A failed start leaves the modem down, which the next line looks at.
    if (!modem_up(ctx)) (void)initModemport(ctx);
    if (!modem_up(ctx)) {
        finiModemport(ctx);
        return;
    }
    send_at_reply(ctx->serial_fd, "CONNECT");
    if (ctx->serial_ppp_fd <= 0) {
        ctx->serial_ppp_fd = open_ppp(ctx, ctx->serial_fd);
        if (ctx->serial_ppp_fd > 0 &&
            register_fd_desc(ctx->serial_ppp_fd, serial_ppp_handler, ctx) < 0)
            poe_fatal(ctx, "serial ppp channel: descriptor table full");
    }
}

}  // namespace

void send_at_reply(int fd, const char *word) {
    char buf[128];
    size_t n = strnlen(word, 124);
    std::memcpy(buf, word, n);
    buf[n++] = '\r';
    buf[n++] = '\n';
    write_full(fd, reinterpret_cast<const uint8_t *>(buf), n);
}

int handle_at_input(bridge_ctx *ctx, const uint8_t *data, int len) {
    for (int i = 0; i < len; ++i) {
        uint8_t b = data[i];
        if ((b >= 0x20 && b < 0x7F) || is_eol(static_cast<char>(b))) {
            // A line that outgrows the buffer without an end starts again.
            if (at_line.len >= kAtLineSize - 1) at_line.len = 0;
            at_line.text[at_line.len++] = static_cast<char>(b);
        } else {
            at_line.len = 0;  // a control character empties the line
        }
    }
    if (at_line.len == 0 || !is_eol(at_line.text[at_line.len - 1])) return -1;
    if (is_eol(at_line.text[0])) {
        at_line.len = 0;
        return 0;
    }
    at_line.text[at_line.len] = '\0';
    loginfo("receive %s ", at_line.text);
    if (strncasecmp(at_line.text, "atd", 3) == 0)
        dial(ctx);
    else if (strncasecmp(at_line.text, "at", 2) == 0)
        send_at_reply(ctx->serial_fd, "OK");
    at_line.len = 0;
    return 0;
}

int serial_handler(fd_desc *desc) {
    if (!desc || !desc->ctx) exit(0);
    auto *ctx = static_cast<bridge_ctx *>(desc->ctx);
    loginfo("serial_handler...");
    uint8_t buf[kFrameBuf];
    int n = recv_serial(ctx, ctx->serial_fd, buf);
    if (n <= 0) {
        if (read_says_gone(n)) serial_lost(ctx);
        return -1;
    }
    dump_frame(buf, n);
    (void)handle_at_input(ctx, buf, n);  // -1 only says the line is not complete yet
    return 0;
}
