// diagctl: activation, events, log and fieldtest: the commands that follow the card's
// events for a while. Event handlers run on the engine's threads and print whole lines
// themselves (one fprintf and a flush each), so lines never interleave.
#include <pthread.h>
#include <time.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "modemd/diag/diag_activation.h"
#include "modemd/diag/diag_events.h"
#include "modemd/diag/field_test.h"
#include "platform/env.h"
#include "tools/diagctl_commands.h"

namespace {

constexpr unsigned long kDefaultActivationSeconds = 300;
constexpr unsigned long kMaxSeconds = 86400;
constexpr unsigned long kTableWaitMs = 120000;  // one table, at most (a silent card is slow)

bool g_json = false;
pthread_mutex_t g_print_mutex = PTHREAD_MUTEX_INITIALIZER;

void print_event(const diag_event *e) {
    pthread_mutex_lock(&g_print_mutex);
    if (g_json)
        printf("{\"event\": %u, \"code\": %u, \"value\": %u}\n", e->event_type, e->event_code,
               e->event_value);
    else
        printf("event %u code %u value %u\n", e->event_type, e->event_code, e->event_value);
    fflush(stdout);
    pthread_mutex_unlock(&g_print_mutex);
}

// A JSON string, escaped, within a 256-byte field.
void json_text(const char *s) {
    putchar('"');
    for (size_t i = 0; i < kFieldTestText && s[i]; ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c == '"' || c == '\\')
            printf("\\%c", c);
        else if (c < 0x20 || c >= 0x7F)
            printf("\\u%04x", c);
        else
            putchar(c);
    }
    putchar('"');
}

// Field-test tables received, for the main thread to count.
struct Tables {
    Tables() {
        pthread_condattr_t attr;
        pthread_condattr_init(&attr);
        pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
        pthread_cond_init(&cond, &attr);
        pthread_condattr_destroy(&attr);
    }
    pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
    pthread_cond_t cond;
    unsigned long count = 0;
    unsigned long wanted = 1;
};
Tables g_tables;

void print_table(const diag_event *e) {
    const diag_field_test_data *d = static_cast<const diag_field_test_data *>(e->event_data);
    if (!d) return;
    pthread_mutex_lock(&g_tables.mutex);
    bool print = g_tables.count < g_tables.wanted;
    pthread_mutex_unlock(&g_tables.mutex);
    if (!print) return;
    pthread_mutex_lock(&g_print_mutex);
    if (g_json) {
        fputs("{\"fieldtest\": [", stdout);
        for (uint32_t i = 0; i < d->rows; ++i) {
            fputs(i ? ", {\"label\": " : "{\"label\": ", stdout);
            json_text(d->labels[i]);
            fputs(", \"value\": ", stdout);
            json_text(d->values[i]);
            putchar('}');
        }
        fputs("]}\n", stdout);
    } else {
        for (uint32_t i = 0; i < d->rows; ++i)
            printf("%.256s: %.256s\n", d->labels[i], d->values[i]);
        putchar('\n');
    }
    fflush(stdout);
    pthread_mutex_unlock(&g_print_mutex);
    pthread_mutex_lock(&g_tables.mutex);
    ++g_tables.count;
    pthread_cond_broadcast(&g_tables.cond);
    pthread_mutex_unlock(&g_tables.mutex);
}

// Takes "-t SECONDS" (or "-c COUNT") at argv[i]; false on a bad value.
bool take_number(int argc, char **argv, int *i, const char *flag, unsigned long max,
                 unsigned long *out, bool *taken) {
    if (std::strcmp(argv[*i], flag) != 0) return true;
    if (*i + 1 >= argc || !diagctl_number(argv[*i + 1], max, out) || *out == 0) return false;
    *i += 1;
    *taken = true;
    return true;
}

int activation_start(DiagctlCtx &ctx, int argc, char **argv) {
    const char *dial = nullptr;
    unsigned long seconds = kDefaultActivationSeconds;
    for (int i = 2; i < argc; ++i) {
        bool taken = false;
        if (!take_number(argc, argv, &i, "-t", kMaxSeconds, &seconds, &taken))
            return diagctl_usage("activation start: -t SECONDS");
        if (taken) continue;
        if (dial) return diagctl_usage("activation start [DIAL] [-t SECONDS]");
        dial = argv[i];
    }
    if (ctx.dry) {
        gCallbacks[6] = print_event;  // the event parser raises them from the first report on
        return 0;
    }
    int status = ActivateDevice(dial);
    if (status) return ctx.out->fail("activation start", status);
    uint8_t success = 0;
    bool ended = diag_activation_wait(env_now_ms() + seconds * 1000ul, &success);
    if (!ended) {
        diag_activation_stop();
        diag_activation_items(&success, nullptr, nullptr);
    }
    pthread_mutex_lock(&g_print_mutex);
    ctx.out->boolean("activated", success != 0);
    ctx.out->finish();
    pthread_mutex_unlock(&g_print_mutex);
    return success ? 0 : 1;
}

int activation(DiagctlCtx &ctx, int argc, char **argv) {
    const char *sub = argc >= 2 ? argv[1] : "";
    if (!std::strcmp(sub, "start")) return activation_start(ctx, argc, argv);
    DiagctlOut &out = *ctx.out;
    unsigned long op = 0;
    if ((!std::strcmp(sub, "iota") || !std::strcmp(sub, "oma")) && argc == 3) {
        if (!diagctl_number(argv[2], 255, &op))
            return diagctl_usage("activation iota|oma: OP 0-255");
        if (ctx.dry) return 0;
        uint8_t buf[256];
        bool iota = sub[0] == 'i';
        int status = iota ? Diag_IOTA_CMD(static_cast<unsigned>(op), buf)
                          : diag_oma_cmd(static_cast<unsigned>(op), buf);
        if (status) return out.fail(iota ? "activation iota" : "activation oma", status);
        out.hex("hex", buf, iota ? 256 : 5);
        out.finish();
        return 0;
    }
    if (!std::strcmp(sub, "oma-config") && argc == 2) {
        if (ctx.dry) return 0;
        uint8_t a, b, c, d;
        uint16_t e, err = 0;
        int status = diag_oma_config_get(&a, &b, &c, &d, &e, &err);
        if (status)
            return status == 26 ? out.fail("activation oma-config", status, "nv_status", err)
                                : out.fail("activation oma-config", status);
        out.boolean("a", a);
        out.boolean("b", b);
        out.boolean("c", c);
        out.num("d", d);
        out.num("e", e);
        out.finish();
        return 0;
    }
    if (!std::strcmp(sub, "ctl") && argc == 2) {
        if (ctx.dry) return 0;
        uint8_t v = 0;
        uint16_t err = 0;
        int status = diag_activation_ctl_get(&v, &err);
        if (status)
            return status == 26 ? out.fail("activation ctl", status, "nv_status", err)
                                : out.fail("activation ctl", status);
        out.num("activation_ctl", v);
        out.finish();
        return 0;
    }
    return diagctl_usage(
        "activation start [DIAL] [-t SECONDS] | iota OP | oma OP | oma-config | ctl");
}

}  // namespace

int diagctl_activation(DiagctlCtx &ctx, int argc, char **argv) {
    g_json = ctx.out->json();
    return activation(ctx, argc, argv);
}

int diagctl_events(DiagctlCtx &ctx, int argc, char **argv) {
    unsigned long seconds = 0;
    bool timed = false;
    for (int i = 1; i < argc; ++i) {
        bool taken = false;
        if (!take_number(argc, argv, &i, "-t", kMaxSeconds, &seconds, &taken) || !taken)
            return diagctl_usage("events [-t SECONDS]");
        timed = true;
    }
    g_json = ctx.out->json();
    if (ctx.dry) {
        // Set before the engine starts, so the first report is seen.
        for (uint16_t t : {3, 6, 9, 13})
            gCallbacks[t] = print_event;
        return 0;
    }
    // Until the time is up, or for ever (Ctrl-C ends the program).
    unsigned long end = env_now_ms() + seconds * 1000ul;
    for (;;) {
        unsigned long now = env_now_ms();
        if (timed && now >= end) return 0;
        env_sleep_ms(timed && end - now < 200 ? end - now : 200);
    }
}

int diagctl_log(DiagctlCtx &ctx, int argc, char **argv) {
    bool on = argc == 3 && !std::strcmp(argv[1], "on");
    if (argc != 3 || (!on && std::strcmp(argv[1], "off"))) return diagctl_usage("log on|off CODE");
    unsigned long code = 0;
    bool all = !std::strcmp(argv[2], "all") || !std::strcmp(argv[2], "-1");
    if (!all && !diagctl_number(argv[2], 0xFFFF, &code))
        return diagctl_usage("log: CODE 0-0xffff or all", argv[2]);
    if (ctx.dry) return 0;
    int log_code = all ? kDiagAllLogCodes : static_cast<int>(code);
    int status = on ? EnableLog(log_code) : DisableLog(log_code);
    if (status) return ctx.out->fail(on ? "log on" : "log off", status);
    if (all)
        ctx.out->raw("log_code", "-1", "all");
    else
        ctx.out->num("log_code", code);
    ctx.out->finish();
    return 0;
}

int diagctl_fieldtest(DiagctlCtx &ctx, int argc, char **argv) {
    unsigned long count = 1;
    for (int i = 1; i < argc; ++i) {
        bool taken = false;
        if (!take_number(argc, argv, &i, "-c", 1000, &count, &taken) || !taken)
            return diagctl_usage("fieldtest [-c COUNT]");
    }
    g_json = ctx.out->json();
    if (ctx.dry) {
        g_tables.wanted = count;
        gCallbacks[kDiagEventFieldTest] = print_table;
        return 0;
    }
    int status = EnableFieldTesting(1);
    if (status) return ctx.out->fail("fieldtest on", status);
    pthread_mutex_lock(&g_tables.mutex);
    unsigned long deadline = env_now_ms() + kTableWaitMs * count;
    bool timed_out = false;
    while (g_tables.count < count && !timed_out)
        timed_out = env_cond_wait_until(&g_tables.cond, &g_tables.mutex, deadline) == ETIMEDOUT;
    unsigned long got = g_tables.count;
    pthread_mutex_unlock(&g_tables.mutex);
    status = EnableFieldTesting(0);
    if (got < count) return ctx.out->fail("fieldtest", 7);
    if (status) return ctx.out->fail("fieldtest off", status);
    return 0;
}
