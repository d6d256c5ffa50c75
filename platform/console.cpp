#include "platform/console.h"

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdint>
#include <cstring>

#include "platform/console_testing.h"
#include "platform/env.h"
#include "platform/router_root.h"

namespace {

// One kind of line: its format string, the start of its current one-second window, the lines
// let through in that window, and the lines held back since the last one let through.
struct LineKind {
    const char *fmt;
    uint64_t window_start;
    unsigned passed;
    unsigned held;
};

constexpr size_t kKinds = 32;
LineKind g_kinds[kKinds];
pthread_mutex_t g_kinds_mutex = PTHREAD_MUTEX_INITIALIZER;

enum class Verdict { kPass, kHold };

// Lines held back of one kind, to report before the line let through.
struct HeldBack {
    const char *fmt = nullptr;
    unsigned count = 0;
};

// Decides for one line of kind `fmt` at `now`; `*report` gets the lines held back that must be
// reported before this one (a count of 0 for none).
Verdict take(const char *fmt, uint64_t now, HeldBack *report) {
    pthread_mutex_lock(&g_kinds_mutex);
    LineKind *kind = nullptr, *oldest = &g_kinds[0];
    for (LineKind &k : g_kinds) {
        if (k.fmt == fmt) {
            kind = &k;
            break;
        }
        if (!k.fmt) {
            oldest = &k;
            break;
        }
        if (oldest->fmt && k.window_start < oldest->window_start) oldest = &k;
    }
    if (!kind) {
        // A new kind takes a free entry, or that of the kind quietest the longest; what that
        // kind held back is then reported with this line.
        kind = oldest;
        if (kind->fmt) *report = HeldBack{kind->fmt, kind->held};
        *kind = LineKind{fmt, now, 0, 0};
    } else if (now - kind->window_start >= 1000) {
        kind->window_start = now;
        kind->passed = 0;
    }
    Verdict verdict = Verdict::kHold;
    if (kind->passed < kConsoleLinesPerSecond) {
        ++kind->passed;
        if (kind->held > 0) *report = HeldBack{fmt, kind->held};
        kind->held = 0;
        verdict = Verdict::kPass;
    } else {
        ++kind->held;
    }
    pthread_mutex_unlock(&g_kinds_mutex);
    return verdict;
}

// The line that reports lines held back, naming the kind by its format up to the first newline.
int format_held(char *buf, size_t size, const char *fmt, unsigned held) {
    size_t shown = strcspn(fmt, "\n");
    if (shown > 60) shown = 60;
    return snprintf(buf, size, "%s: %u more lines like \"%.*s\" held back\n",
                    program_invocation_short_name, held, static_cast<int>(shown), fmt);
}

size_t clamp_len(int n, size_t size) {
    return static_cast<size_t>(n) < size ? static_cast<size_t>(n) : size - 1;
}

// Formats the held-back report (if any) and the line into `buf`; returns the length, or -1.
int format_limited(char *buf, size_t size, const char *fmt, va_list ap, bool *pass) {
    HeldBack report;
    *pass = take(fmt, env_now_ms(), &report) == Verdict::kPass;
    size_t len = 0;
    if (report.count > 0) {
        int n = format_held(buf, size, report.fmt, report.count);
        if (n < 0) return -1;
        len = clamp_len(n, size);
    }
    if (!*pass) return static_cast<int>(len);
    int n = vsnprintf(buf + len, size - len, fmt, ap);
    if (n < 0) return -1;
    return static_cast<int>(len + clamp_len(n, size - len));
}

}  // namespace

int console_write(const char *text, size_t len) {
    RouterPath path("/dev/console");
    if (!path.ok()) return -1;
    // Under a router root the console is a plain file, created on first use.
    int flags = O_WRONLY | O_APPEND | O_NOCTTY | O_CLOEXEC | (router_root() ? O_CREAT : 0);
    int fd = open(path.c_str(), flags, 0644);
    if (fd < 0) return -1;
    ssize_t n = write(fd, text, len);
    close(fd);
    return n < 0 ? -1 : static_cast<int>(n);
}

int console_printf(const char *fmt, ...) {
    char buf[1024];
    va_list ap;
    va_start(ap, fmt);
    int n = vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    if (n < 0) return -1;
    return console_write(buf, clamp_len(n, sizeof buf));
}

int console_printf_limited(const char *fmt, ...) {
    char buf[1024 + 128];  // room for a held-back report before a whole line
    bool pass = false;
    va_list ap;
    va_start(ap, fmt);
    int n = format_limited(buf, sizeof buf, fmt, ap, &pass);
    va_end(ap);
    if (n <= 0) return n;
    int written = console_write(buf, static_cast<size_t>(n));
    return pass ? written : 0;
}

int console_fprintf_limited(FILE *stream, const char *fmt, ...) {
    char buf[1024 + 128];
    bool pass = false;
    va_list ap;
    va_start(ap, fmt);
    int n = format_limited(buf, sizeof buf, fmt, ap, &pass);
    va_end(ap);
    if (n <= 0) return n;
    size_t written = fwrite(buf, 1, static_cast<size_t>(n), stream);
    return pass ? static_cast<int>(written) : 0;
}

void console_testing_forget(void) {
    pthread_mutex_lock(&g_kinds_mutex);
    for (LineKind &k : g_kinds)
        k = LineKind{};
    pthread_mutex_unlock(&g_kinds_mutex);
}
