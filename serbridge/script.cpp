#include "serbridge/script.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <initializer_list>

#include "common/slprintf.h"
#include "platform/router_root.h"
#include "platform/router_syslog.h"
#include "serbridge/log.h"

namespace {

// The child: descriptors 0, 1 and 2 in use first, so the duplicates below land above them.
[[noreturn]] void run_child(const char *command, int in, int out, const char *errors_path) {
    int fd;
    while ((fd = dup(in)) >= 0 && fd <= 2) {
    }
    if (fd > 2) close(fd);
    int in2 = dup(in), out2 = dup(out);
    int err = open(errors_path, O_WRONLY | O_APPEND | O_CREAT, 0600);
    // Never leave standard error closed: the script's next file would take its place.
    if (err < 0) err = open("/dev/null", O_WRONLY);
    close(0);
    close(1);
    close(2);
    router_closelog();
    dup2(in2, 0);
    dup2(out2, 1);
    if (err >= 0) dup2(err, 2);
    for (int extra : {in2, out2, err})
        if (extra > 2) close(extra);
    if (setgid(getgid()) < 0) _exit(99);
    execl("/bin/sh", "sh", "-c", command, static_cast<char *>(nullptr));
    char msg[128];
    int n = poe_slprintf(msg, sizeof msg - 1, "could not exec /bin/sh: %m");
    msg[n++] = '\n';
    ssize_t ignored = write(2, msg, static_cast<size_t>(n));
    (void)ignored;
    _exit(99);
}

}  // namespace

int device_script(bridge_ctx *ctx, const char *command, int in, int out, int dont_wait) {
    RouterPath errors("/tmp/ppp/serbridge-errors");
    pid_t pid = fork();
    if (pid < 0) {
        poe_error(ctx, "Failed to create child process: %m");
        return -1;
    }
    if (pid == 0) run_child(command, in, out, errors.c_str());
    if (dont_wait) return 0;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) poe_fatal(ctx, "error waiting for (dis)connection process: %m");
    }
    return status == 0 ? 0 : -1;
}

int modem_connect(bridge_ctx *ctx) {
    poe_info(ctx, "call connect script: %s \n", ctx->connect_script);
    return device_script(ctx, ctx->connect_script, ctx->modem_fd, ctx->modem_fd, 0);
}

int modem_disconnect(bridge_ctx *ctx) {
    poe_info(ctx, "call disconnect script: %s \n", ctx->disconnect_script);
    device_script(ctx, ctx->disconnect_script, ctx->modem_fd, ctx->modem_fd, 0);
    return 0;
}
