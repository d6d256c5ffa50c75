#include "serbridge/link.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

#include "platform/eventloop.h"
#include "serbridge/handlers.h"
#include "serbridge/lcp.h"
#include "serbridge/log.h"
#include "serbridge/ports.h"

event_timer termreq_event = {nullptr, nullptr, 0, 0, nullptr, termreq_func};
event_timer timeout_event = {nullptr, nullptr, kModemSilenceSecs, 0, nullptr, timeout_func};

namespace {

// Sends the bridge's Terminate-Request on a channel and waits for the Ack (not passed on).
void terminate(bridge_ctx *ctx, int chan, const char *to, int window, const char *found) {
    if (chan <= 0) return;
    loginfo("send termreq data %d bytes to %s to terminate PPP ", static_cast<int>(kTermreqLen),
            to);
    write_full(chan, termreq_data, kTermreqLen);
    wait_termack(ctx, chan, window, found, -1);
}

// The link down without the pause: the modem down, both timers off.
void take_down(bridge_ctx *ctx) {
    finiModemport(ctx);
    del_event(&termreq_event);
    del_event(&timeout_event);
}

}  // namespace

void end_link(bridge_ctx *ctx) {
    env_sleep(1);
    take_down(ctx);
    if (!ctx->always_ppp) resetSerial(ctx);
}

bool read_says_gone(int n) {
    return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
}

void termreq_func(void *arg) {
    auto *ctx = static_cast<bridge_ctx *>(arg);
    if (!ctx || !modem_up(ctx)) return;
    terminate(ctx, ctx->modem_ppp_fd, "modem", 4, "get termack from modem .... ");
    terminate(ctx, ctx->serial_ppp_fd, "host", 2, "get termack from serial .... ");
    env_sleep(1);
    // The silence timer goes too: an ended link must not be redialled a minute later.
    take_down(ctx);
    if (!ctx->always_ppp) resetSerial(ctx);
}

void timeout_func(void *arg) {
    auto *ctx = static_cast<bridge_ctx *>(arg);
    if (!ctx) return;
    loginfo("reconnect wwan ...");
    finiModemport(ctx);
    env_sleep(1);
    if (initModemport(ctx) < 0) finiModemport(ctx);
}

void modem_lost(bridge_ctx *ctx) {
    loginfo("modem channel closed: ending the link");
    (void)unregister_fd_desc(ctx->modem_ppp_fd);  // harmless when it was not registered
    terminate(ctx, ctx->serial_ppp_fd, "host", 2, "get termack from serial .... ");
    take_down(ctx);
    if (!ctx->always_ppp) resetSerial(ctx);
}

void serial_lost(bridge_ctx *ctx) {
    loginfo("serial line %s closed: ending the link", ctx->serial_dev);
    if (modem_up(ctx))
        terminate(ctx, ctx->modem_ppp_fd, "modem", 4, "get termack from modem .... ");
    take_down(ctx);
    resetSerial(ctx);
    (void)unregister_fd_desc(ctx->serial_fd);  // harmless when it was not registered
    if (ctx->serial_fd > 0) close(ctx->serial_fd);
    ctx->serial_fd = -1;
    // A line that is gone, or still hung up, would wake the loop again at once: give up.
    int probe = open(ctx->serial_dev, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (probe < 0) poe_fatal(ctx, "serial line %s cannot be reopened: %m", ctx->serial_dev);
    pollfd p = {probe, 0, 0};
    bool hung_up = poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR));
    close(probe);
    if (hung_up) poe_fatal(ctx, "serial line %s cannot be reopened: hung up", ctx->serial_dev);
    if (initSerialport(ctx) < 0)
        poe_fatal(ctx, "serial line %s cannot be reopened: %m", ctx->serial_dev);
    loginfo("serial line %s reopened", ctx->serial_dev);
}
