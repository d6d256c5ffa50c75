#include "cardactivate/activate.h"

#include <fcntl.h>
#include <syslog.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "cardactivate/card_reader.h"
#include "cardactivate/frames.h"
#include "common/slprintf.h"
#include "platform/env.h"
#include "platform/router_root.h"
#include "platform/router_syslog.h"

char activationRsp[128];
char activationPRLVersion[32];

namespace {

constexpr char kDevice[] = "/dev/usb/tts/1";
constexpr int kDefaultLimit = 120;
constexpr int kMaxLimit = 86400;
constexpr long kReplyMs = 2000;
constexpr long kLoopMarginMs = 2000;
constexpr int kReadMax = 512;
constexpr int kControlChannel = 0;
constexpr int kActivationChannel = 10;
constexpr int kKeepAliveType = 3;
constexpr int kReportType = 1;
constexpr int kActivated = 9;

const char *const kStateText[] = {"ACTIVATING", "AKEY DONE", "IMSI DONE", "MDN DONE",
                                  "NAM DONE",   "PRL DONE",  "SPL DONE",  "SSD DONE"};

char line[1024];

struct Card {
    int fd;
    CardReader reader;
};

Card g_card;

void say(const char *fmt, ...) __attribute__((format(printf, 1, 2)));
void say(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    vprintf(fmt, ap);
    va_end(ap);
    fflush(stdout);
}

void store(char *dst, size_t cap, const char *text) {
    snprintf(dst, cap, "%s", text);
}

int send_command(const CardCommand &c) {
    ssize_t w = write(g_card.fd, c.bytes, c.len);
    if (w != static_cast<ssize_t>(c.len)) {
        say("Write to %s error\n", kDevice);
        return -1;
    }
    return 0;
}

// One read of the port into the reader. 1: bytes came; 0: the wait ran out; -1: the wait
// failed, or the port ended or failed (a card pulled out reads as end of file or an error).
int read_port(int seconds) {
    int w = waitfor(g_card.fd, seconds);
    if (w <= 0) return w;
    uint8_t buf[kReadMax];
    ssize_t n;
    do {
        n = read(g_card.fd, buf, sizeof buf);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) return -1;
    (void)card_reader_feed(&g_card.reader, buf, static_cast<size_t>(n));  // counted in the reader
    return 1;
}

// The next frame within 2 s (read_reply), or nullptr after saying why.
const CardFrame *read_reply() {
    unsigned long deadline = env_now_ms() + kReplyMs;
    for (;;) {
        if (const CardFrame *f = card_reader_take(&g_card.reader)) return f;
        long left = env_ms_until(deadline, env_now_ms());
        int r = left > 0 ? read_port(static_cast<int>((left + 999) / 1000)) : 0;
        if (r == 0) {
            say("###Timed out, do nothing \n");
            return nullptr;
        }
        if (r < 0) {
            say("Unknown exception occurs ...\n");
            return nullptr;
        }
    }
}

bool handshake() {
    say("sending startup command\n");
    if (write(g_card.fd, command_startup.bytes, command_startup.len) !=
        static_cast<ssize_t>(command_startup.len)) {
        say("Write error\n");
        return false;
    }
    (void)read_reply();  // its content does not matter
    say("sending hello command\n");
    if (send_command(command_hello) < 0) {
        say("Send control comamnd error\n");
        return false;
    }
    const CardFrame *f = read_reply();
    if (!f) return false;
    if (!card_frame_hello_ok(f)) {
        say("Modem SN negotiation failure\n");
        return false;
    }
    return true;
}

bool ask_prl_version() {
    loginfo("sending GetPRLVersion command\n");
    if (send_command(commandGetPRLVersion) < 0) return false;
    const CardFrame *f = read_reply();
    if (!f) return false;
    if (f->len >= 12)
        loginfo("receive message with channel:%d,type:%d \n", f->data[8],
                f->data[10] | f->data[11] << 8);
    int version;
    if (card_frame_prl(f, &version)) {
        loginfo("Old PRL Version:%d\n", version);
        snprintf(activationPRLVersion, sizeof activationPRLVersion, "Old PRL Version:%d", version);
    }
    return true;
}

// The progress reports until ACTIVATED, the deadline or a dead card. Returns the result.
int follow_progress(unsigned long deadline) {
    while (env_ms_until(deadline, env_now_ms()) > kLoopMarginMs) {
        const CardFrame *f = card_reader_take(&g_card.reader);
        if (!f) {
            long left = env_ms_until(deadline, env_now_ms());
            if (read_port(static_cast<int>((left + 999) / 1000)) <= 0) {
                store(activationRsp, sizeof activationRsp, "Time out or error");
                return 1;
            }
            continue;
        }
        int channel, type;
        if (!card_frame_kind(f, &channel, &type)) continue;  // too short to judge
        if (channel == kControlChannel && type == kKeepAliveType) {
            if (send_command(commandKeepAlive) < 0) say("send keepalive error\n");
            continue;
        }
        say("channel = %d ,msg_type = %d \n", channel, type);
        if (channel != kActivationChannel || type != kReportType) continue;
        int state = card_frame_state(f);
        if (state < 0) continue;
        if (state == kActivated) {
            store(activationRsp, sizeof activationRsp, "ACTIVATED");
            say("Activate successful\n");
            return 0;
        }
        const char *text =
            state >= 1 && state < kActivated ? kStateText[state - 1] : "Unknown Payload";
        store(activationRsp, sizeof activationRsp, text);
        say("%s\n", text);
    }
    return 1;
}

void bye() {
    env_sleep_ms(1);
    say("\n\n\n\n#########send bye\n");
    if (send_command(commandBye) < 0) return;
    (void)read_reply();  // the card's answers do not matter
    (void)read_reply();
    say("send  bye again\n");
    if (send_command(commandBye) < 0) return;
    (void)read_reply();
}

}  // namespace

int cardactivate_time_limit(void) {
    const char *text = getenv("CARDACTIVATE_TIME_LIMIT");
    if (!text || !*text) return kDefaultLimit;
    char *end;
    long v = strtol(text, &end, 10);
    return *end || v < 1 || v > kMaxLimit ? kDefaultLimit : static_cast<int>(v);
}

void cardactivate_openlog(void) {
    router_openlog("cardactivate", LOG_PID | LOG_NDELAY, LOG_LOCAL2);
    router_setlogmask(LOG_UPTO(LOG_INFO));
}

void loginfo(const char *fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    vpoe_slprintf_reduced(line, sizeof line, fmt, ap);
    va_end(ap);
    router_syslog(LOG_INFO, "%s", line);
}

int cardActivate(void) {
    unsigned long deadline =
        env_now_ms() + 1000ul * static_cast<unsigned>(cardactivate_time_limit());
    int result = 1;
    RouterPath dev(kDevice);
    g_card.fd = dev.ok() ? open(dev.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC) : -1;
    if (g_card.fd < 0) {
        say("Cannot open %s\n", kDevice);
        return 1;
    }
    card_reader_init(&g_card.reader);
    if (handshake() && ask_prl_version() && send_command(commandActivtionQuery) == 0 &&
        read_reply()) {
        loginfo("sending activate command\n");
        if (send_command(commandActivtion) == 0) result = follow_progress(deadline);
    }
    bye();
    close(g_card.fd);
    g_card.fd = -1;
    return result;
}
