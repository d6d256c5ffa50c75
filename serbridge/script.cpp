#include "serbridge/script.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/env.h"
#include "platform/router_root.h"
#include "serbridge/log.h"

int device_script(bridge_ctx *ctx, const char *command, int in, int out, int dont_wait) {
    RouterPath errors("/tmp/ppp/serbridge-errors");
    // Never leave the script's standard error closed: its next file would take its place.
    int err = open(errors.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (err < 0) err = open("/dev/null", O_WRONLY | O_CLOEXEC);
    char sh[] = "sh", dash_c[] = "-c";
    char *argv[] = {sh, dash_c, const_cast<char *>(command), nullptr};
    const int stdio[3] = {in, out, err};
    pid_t pid = 0;
    int status = env_spawn("/bin/sh", argv, stdio, dont_wait ? &pid : nullptr);
    if (status < 0) poe_error(ctx, "Failed to create child process: %m");
    if (err >= 0) close(err);
    if (status < 0) return -1;
    return status == 0 ? 0 : -1;
}

int modem_connect(bridge_ctx *ctx) {
    poe_info(ctx, "call connect script: %s \n", ctx->connect_script);
    return device_script(ctx, ctx->connect_script, ctx->modem_fd, ctx->modem_fd, 0);
}

int modem_disconnect(bridge_ctx *ctx) {
    poe_info(ctx, "call disconnect script: %s \n", ctx->disconnect_script);
    // The modem is closed next whatever the script did; a failed start is logged already.
    (void)device_script(ctx, ctx->disconnect_script, ctx->modem_fd, ctx->modem_fd, 0);
    return 0;
}
