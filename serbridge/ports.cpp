#include "serbridge/ports.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/eventloop.h"
#include "platform/nvram.h"
#include "serbridge/handlers.h"
#include "serbridge/log.h"
#include "serbridge/ppp_channel.h"
#include "serbridge/script.h"
#include "serbridge/tty.h"

namespace {

constexpr int kModemSpeed = 115200;
constexpr int kConnectAttempts = 3;

int open_terminal(const char *path) {
    return open(path, O_RDWR | O_NOCTTY | O_CLOEXEC);
}

}  // namespace

int initSerialport(bridge_ctx *ctx) {
    int fd = open_terminal(ctx->serial_dev);
    if (fd < 0) return -1;
    set_up_tty(fd, 1, ctx->serial_speed);
    ctx->serial_fd = fd;
    if (ctx->always_ppp) {
        ctx->serial_ppp_fd = open_ppp(ctx, fd);
        if (ctx->serial_ppp_fd < 0) return -1;
        if (register_fd_desc(ctx->serial_ppp_fd, serial_ppp_handler, ctx) < 0)
            poe_fatal(ctx, "serial ppp channel: descriptor table full");
        return ctx->serial_ppp_fd;
    }
    if (register_fd_desc(fd, serial_handler, ctx) < 0)
        poe_fatal(ctx, "serial line %s: descriptor table full", ctx->serial_dev);
    return fd;
}

int initModemport(bridge_ctx *ctx) {
    int fd = open_terminal(ctx->modem_dev);
    if (fd < 0) return -1;
    set_up_tty(fd, 1, kModemSpeed);
    ctx->modem_fd = fd;
    for (int attempt = 0; attempt < kConnectAttempts; ++attempt) {
        if (modem_connect(ctx) == 0) {
            ctx->modem_ppp_fd = open_ppp(ctx, ctx->modem_fd);
            if (ctx->modem_ppp_fd > 0 &&
                register_fd_desc(ctx->modem_ppp_fd, modem_ppp_handler, ctx) < 0)
                poe_fatal(ctx, "modem ppp channel: descriptor table full");
            return ctx->modem_ppp_fd;
        }
        poe_error(ctx, "Failed to connect modem ");
    }
    close(ctx->modem_fd);
    ctx->modem_fd = -1;
    snprintf(tmp, sizeof tmp, "%sstatus", prefix);
    (void)nvram_set(tmp, "bridged_fail");  // best effort: the program ends next either way
    poe_fatal(ctx, "connect fail 3 times. exit ... ");
}

void finiModemport(bridge_ctx *ctx) {
    if (ctx->modem_ppp_fd > 0) {
        (void)unregister_fd_desc(ctx->modem_ppp_fd);  // harmless when it was not registered
        close_ppp(ctx, ctx->modem_fd, ctx->modem_ppp_fd);
        ctx->modem_ppp_fd = -1;
    }
    if (ctx->modem_fd > 0) {
        modem_disconnect(ctx);
        close(ctx->modem_fd);
        ctx->modem_fd = -1;
    }
}

void resetSerial(bridge_ctx *ctx) {
    if (ctx->serial_ppp_fd > 0) {
        (void)unregister_fd_desc(ctx->serial_ppp_fd);  // harmless when it was not registered
        loginfo("%s: close ppp", "resetSerial");
        close_ppp(ctx, ctx->serial_fd, ctx->serial_ppp_fd);
        ctx->serial_ppp_fd = -1;
    }
}

int recv_ppp(bridge_ctx *, int fd, uint8_t *buf) {
    ssize_t n = read(fd, buf, kFrameBuf);
    return n < 0 ? -1 : static_cast<int>(n);
}

int recv_serial(bridge_ctx *, int fd, uint8_t *buf) {
    ssize_t n = read(fd, buf, kFrameBuf);
    return n < 0 ? -1 : static_cast<int>(n);
}

void write_full(int fd, const uint8_t *data, size_t len) {
    while (len > 0) {
        ssize_t n = write(fd, data, len);
        if (n <= 0) {
            if (n < 0 && errno == EINTR) continue;
            return;
        }
        data += n;
        len -= static_cast<size_t>(n);
    }
}
