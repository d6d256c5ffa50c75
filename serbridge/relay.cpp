// The PPP phase: frames relayed one read to one write between the serial and the modem
// channel, with the LCP packets watched on the way.
#include <cstdlib>

#include "serbridge/handlers.h"
#include "serbridge/lcp.h"
#include "serbridge/link.h"
#include "serbridge/log.h"
#include "serbridge/ports.h"

namespace {

bridge_ctx *context_of(fd_desc *desc) {
    if (!desc || !desc->ctx) exit(0);
    return static_cast<bridge_ctx *>(desc->ctx);
}

void rearm_inactivity(bridge_ctx *ctx) {
    del_event(&termreq_event);
    // Without -i there is no inactivity limit: a delay of 0 would end every link at once.
    if (ctx->idle_secs <= 0) return;
    termreq_event.delay = static_cast<unsigned long>(ctx->idle_secs);
    add_event(&termreq_event);
}

}  // namespace

int serial_ppp_handler(fd_desc *desc) {
    bridge_ctx *ctx = context_of(desc);
    uint8_t buf[kFrameBuf];
    int n = recv_ppp(ctx, ctx->serial_ppp_fd, buf);
    if (n <= 0) {
        if (read_says_gone(n)) serial_lost(ctx);
        return -1;
    }
    rearm_inactivity(ctx);
    uint16_t proto, lcp_len;
    uint8_t code, id;
    if (parse_lcp_header(buf, n, &proto, &code, &id, &lcp_len) == 0) {
        switch (code) {
            case kConfReq:
                loginfo("receive CONFREQ from serial..");
                if (!modem_up(ctx) && initModemport(ctx) < 0) {
                    finiModemport(ctx);
                    return 0;
                }
                if (!timeout_event.next) {
                    timeout_event.delay = kModemSilenceSecs;
                    add_event(&timeout_event);
                }
                break;
            case kConfAck:
                loginfo("receive CONFACK from serial..");
                break;
            case kTermReq:
                loginfo("receive TERMREQ from serial..");
                if (modem_up(ctx)) {
                    write_full(ctx->modem_ppp_fd, buf, static_cast<size_t>(n));
                    wait_termack(ctx, ctx->modem_ppp_fd, 4, "get termack from modem .... ",
                                 ctx->serial_ppp_fd);
                    end_link(ctx);
                    return 0;
                }
                break;
            default:
                break;
        }
    }
    dump_frame(buf, n);
    if (modem_up(ctx)) write_full(ctx->modem_ppp_fd, buf, static_cast<size_t>(n));
    return 0;
}

int modem_ppp_handler(fd_desc *desc) {
    bridge_ctx *ctx = context_of(desc);
    uint8_t buf[kFrameBuf];
    int n = recv_ppp(ctx, ctx->modem_ppp_fd, buf);
    if (n <= 0) {
        if (read_says_gone(n)) modem_lost(ctx);
        return -1;
    }
    del_event(&timeout_event);
    uint16_t proto, lcp_len;
    uint8_t code, id;
    if (parse_lcp_header(buf, n, &proto, &code, &id, &lcp_len) == 0) {
        switch (code) {
            case kConfReq:
                loginfo("receive CONFREQ from modem..");
                break;
            case kConfAck:
                loginfo("receive CONFACK from modem..");
                break;
            case kTermAck:
                loginfo("receive TERMACK ..");
                break;
            case kTermReq:
                loginfo("receive TERMREQ ..");
                // Without a serial channel there is no host to ask.
                if (ctx->serial_ppp_fd > 0) {
                    write_full(ctx->serial_ppp_fd, buf, static_cast<size_t>(n));
                    wait_termack(ctx, ctx->serial_ppp_fd, 4, "get termack from serial .... ",
                                 ctx->modem_ppp_fd);
                }
                end_link(ctx);
                return 0;
            default:
                break;
        }
    }
    if (ctx->serial_ppp_fd > 0) write_full(ctx->serial_ppp_fd, buf, static_cast<size_t>(n));
    return 0;
}
