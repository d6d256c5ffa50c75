#include "platform/router_syslog.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <syslog.h>
#include <time.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/router_root.h"

namespace {

char g_ident[32] = "";
int g_option;
int g_facility = LOG_USER;
int g_mask = 0xFF;
int g_sock = -1;  // under a router root: the datagram socket to its /dev/log

void connect_root_log() {
    if (g_sock >= 0) return;
    RouterPath path("/dev/log");
    sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    if (!path.ok() || std::strlen(path.c_str()) >= sizeof addr.sun_path) return;
    std::strcpy(addr.sun_path, path.c_str());
    int s = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s < 0) return;
    if (connect(s, reinterpret_cast<sockaddr *>(&addr), sizeof addr) < 0) {
        close(s);
        return;
    }
    g_sock = s;
}

}  // namespace

void router_openlog(const char *ident, int option, int facility) {
    g_option = option;
    g_facility = facility;
    if (!router_root()) {
        openlog(ident, option, facility);
        return;
    }
    std::snprintf(g_ident, sizeof g_ident, "%s", ident ? ident : "");
    if (option & LOG_NDELAY) connect_root_log();
}

int router_setlogmask(int mask) {
    if (!router_root()) return setlogmask(mask);
    int old = g_mask;
    if (mask) g_mask = mask;
    return old;
}

void router_syslog(int priority, const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    if (!router_root()) {
        vsyslog(priority, fmt, ap);
        va_end(ap);
        return;
    }
    char text[1024];
    std::vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    if (!(g_mask & LOG_MASK(LOG_PRI(priority)))) return;
    connect_root_log();
    if (g_sock < 0) return;
    if (!(priority & LOG_FACMASK)) priority |= g_facility;
    time_t now = time(nullptr);
    struct tm tm;
    char stamp[32] = "";
    if (localtime_r(&now, &tm)) strftime(stamp, sizeof stamp, "%b %e %H:%M:%S", &tm);
    char msg[1200];
    int n;
    if (g_option & LOG_PID)
        n = std::snprintf(msg, sizeof msg, "<%d>%s %s[%d]: %s", priority, stamp, g_ident,
                          static_cast<int>(getpid()), text);
    else
        n = std::snprintf(msg, sizeof msg, "<%d>%s %s: %s", priority, stamp, g_ident, text);
    if (n > 0)  // best effort, as syslog(3): a full or absent log socket drops the line
        (void)send(g_sock, msg,
                   static_cast<size_t>(n) < sizeof msg ? static_cast<size_t>(n) : sizeof msg - 1,
                   MSG_NOSIGNAL | MSG_DONTWAIT);
}

void router_closelog(void) {
    if (!router_root()) {
        closelog();
        return;
    }
    if (g_sock >= 0) close(g_sock);
    g_sock = -1;
}

bool router_local_time(struct tm *now) {
    time_t t = time(nullptr);
    return localtime_r(&t, now) != nullptr;
}
