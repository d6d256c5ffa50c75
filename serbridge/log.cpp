#include "serbridge/log.h"

#include <syslog.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "common/slprintf.h"
#include "platform/router_root.h"
#include "platform/router_syslog.h"

int to_log = 1, to_logfile = 1;
FILE *logfile;
int log_to_fd = 0;
char line[1024];

namespace {

void poe_log(bridge_ctx *ctx, int level, const char *fmt, va_list ap) {
    char buf[257];  // 255 characters, a newline and the NUL
    int n = vpoe_slprintf(buf, 256, fmt, ap);
    router_syslog(level, "%s", buf);
    if (log_to_fd < 0) return;
    if (level == LOG_DEBUG && ctx) return;
    if (n == 0 || buf[n - 1] != '\n') buf[n++] = '\n';
    ssize_t w = write(log_to_fd, buf, static_cast<size_t>(n));
    if (w != n) log_to_fd = -1;
}

}  // namespace

int log_open(void) {
    router_openlog("serbridge", LOG_PID | LOG_NDELAY, LOG_LOCAL2);
    router_setlogmask(LOG_UPTO(LOG_INFO));
    RouterPath path("/var/log/serbridge.log");
    logfile = path.ok() ? fopen(path.c_str(), "ae") : nullptr;
    if (!logfile) return -1;
    // Line-buffered: the bridge runs until it is killed, and its trace must be on file by then.
    setvbuf(logfile, nullptr, _IOLBF, 0);
    return 0;
}

#define POE_LOG_FN(name, level)                        \
    void name(bridge_ctx *ctx, const char *fmt, ...) { \
        va_list ap;                                    \
        va_start(ap, fmt);                             \
        poe_log(ctx, level, fmt, ap);                  \
        va_end(ap);                                    \
    }

POE_LOG_FN(poe_error, LOG_ERR)
POE_LOG_FN(poe_warn, LOG_WARNING)
POE_LOG_FN(poe_info, LOG_INFO)
POE_LOG_FN(poe_dbglog, LOG_DEBUG)

void poe_fatal(bridge_ctx *ctx, const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    poe_log(ctx, LOG_ERR, fmt, ap);
    va_end(ap);
    poe_die(1);
}

void loginfo(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    vpoe_slprintf_reduced(line, sizeof line, fmt, ap);
    va_end(ap);
    if (to_log) router_syslog(LOG_INFO, "%s", line);
    if (to_logfile && logfile) fprintf(logfile, "%s\n", line);
}

void poe_die(int status) {
    router_syslog(LOG_INFO, "Exit.");
    exit(status);
}
