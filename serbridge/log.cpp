#include "serbridge/log.h"

#include <sys/stat.h>
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

constexpr char kLogPath[] = "/var/log/serbridge.log";
constexpr char kOldLogPath[] = "/var/log/serbridge.log.old";
long g_logfile_size;  // bytes in the log file, counted as they are written

FILE *open_logfile() {
    RouterPath path(kLogPath);
    FILE *f = path.ok() ? fopen(path.c_str(), "ae") : nullptr;
    if (!f) return nullptr;
    // Line-buffered: the bridge runs until it is killed, and its trace must be on file by then.
    setvbuf(f, nullptr, _IOLBF, 0);
    struct stat st;
    g_logfile_size = fstat(fileno(f), &st) == 0 ? static_cast<long>(st.st_size) : 0;
    return f;
}

// Starts a fresh log file, keeping the full one as the ".old" file. When no fresh file can
// be opened the trace goes on to syslog only.
void rotate_logfile() {
    fclose(logfile);
    RouterPath path(kLogPath), old_path(kOldLogPath);
    if (path.ok() && old_path.ok()) rename(path.c_str(), old_path.c_str());
    logfile = open_logfile();
}

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
    logfile = open_logfile();
    return logfile ? 0 : -1;
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
    if (!to_logfile || !logfile) return;
    long bytes = static_cast<long>(strlen(line)) + 1;  // what fprintf() writes below
    if (g_logfile_size > 0 && g_logfile_size + bytes > kLogFileLimit) rotate_logfile();
    if (!logfile) return;
    fprintf(logfile, "%s\n", line);
    g_logfile_size += bytes;
}

void poe_die(int status) {
    router_syslog(LOG_INFO, "Exit.");
    exit(status);
}
