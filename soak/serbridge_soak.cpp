// serbridge under SECONDS (default 15) of line noise, half in the AT phase and half in the PPP
// relay after a dial, with its frame dumps on (-d) so its log grows fast. Between and after
// the noise the bridge must still answer: "OK" to an AT command, then frames relayed both ways.
// Then 10 quiet seconds: the bridge must take no CPU, and its log file and the kept old one
// must each be within the log cap. Prints one PASS or FAIL line.
//   serbridge_soak [SECONDS]
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "platform/env.h"
#include "platform/nvram.h"
#include "platform/nvram_testing.h"
#include "serbridge/log.h"
#include "sim/ppp_link.h"
#include "soak/soak_util.h"
#include "tests/support/testsupport.h"

namespace {

using namespace testsupport;

constexpr int kIdleMs = 10000;

// Reads whatever the bridge wrote on either line, so it never blocks on a full terminal.
void drain(PppLink &host, PppLink &modem) {
    Frame f;
    (void)host.pump(0);
    (void)modem.pump(0);
    while (host.receive(&f, 0)) {
    }
    while (modem.receive(&f, 0)) {
    }
    if (host.text().size() > 65536) host.clear_text();
    if (modem.text().size() > 65536) modem.clear_text();
}

// Writes `bytes` once the line takes them, at most 5 s; false when it never does.
bool write_noise(int fd, const std::vector<uint8_t> &bytes) {
    pollfd p = {fd, POLLOUT, 0};
    if (poll(&p, 1, 5000) != 1) return false;
    return write(fd, bytes.data(), bytes.size()) > 0;
}

// Noise for `ms` on the host line (and on the modem line when `modem` is set): runs of
// printable text, CR and LF, control bytes, PPP flags and escapes. Never a 'd': the AT
// phase must not dial by chance. False when a line stopped taking bytes.
bool noise(PppLink &host, PppLink &modem, bool both, int ms, std::mt19937 &rng, long *sent) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    const uint8_t specials[] = {'\r', '\n', 0x7E, 0x7D, 0x00, 0x03, 0x1B, 0x7F, 0xFF, 0x20};
    while (std::chrono::steady_clock::now() < end) {
        std::vector<uint8_t> chunk(16 + rng() % 240);
        for (uint8_t &b : chunk) {
            unsigned r = rng() % 16;
            b = r < 10   ? static_cast<uint8_t>(0x20 + rng() % 95)
                : r < 14 ? specials[rng() % sizeof specials]
                         : static_cast<uint8_t>(rng());
            if (b == 'd' || b == 'D') b = 'a';
        }
        if (!write_noise(host.fd(), chunk)) return false;
        *sent += static_cast<long>(chunk.size());
        if (both) {
            if (!write_noise(modem.fd(), chunk)) return false;
            *sent += static_cast<long>(chunk.size());
        }
        drain(host, modem);
        env_sleep_ms(2);
    }
    return true;
}

bool at_ok(PppLink &host) {
    for (int i = 0; i < 40; ++i) {
        host.clear_text();
        host.send_text(
            "\x15"
            "AT\r");  // a control byte first: it empties a half line
        if (host.wait_text("OK\r\n", 500)) return true;
    }
    return false;
}

// A data frame from one side, looked for on the other (other frames skipped).
bool relays(PppLink &from, PppLink &to, uint8_t tag) {
    Frame f = {0x00, 0x21, tag, 1, 2, 3, 4, 5, 6, 7, 8}, got;
    for (int i = 0; i < 10; ++i) {
        from.send(f);
        while (to.receive(&got, 500))
            if (got == f) return true;
    }
    return false;
}

long file_size(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : 0;
}

}  // namespace

int main(int argc, char **argv) {
    int seconds = argc > 1 ? atoi(argv[1]) : 15;
    if (seconds <= 1) seconds = 15;
    TempRouterRoot root;
    mkdir(root.host("/var/log").c_str(), 0755);
    mkdir(root.host("/tmp/ppp").c_str(), 0755);
    Pty host_pty, modem_pty;
    nvram_testing_forget();
    if (nvram_set("wan_maxentrys", "1") != 0 || nvram_set("wan0_proto", "4") != 0 ||
        nvram_set("wan0_devname", modem_pty.slave.c_str()) != 0)
        return soak_verdict(false, "serbridge", "nvram cannot be seeded");
    write_file(root.host("/connect.sh"), "printf 'CONNECTED\\r\\n'\nexit 0\n");
    int poe = open(root.host("/poe.out").c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    SpawnOptions o;
    o.stdin_fd = poe;
    o.env = {"SERBRIDGE_PPP_CHANNEL=hdlc"};
    pid_t bridge = spawn_program("serbridge",
                                 {"-d", "-i", "3600", "-s", host_pty.slave, "-m", modem_pty.slave,
                                  "-c", "sh " + root.host("/connect.sh"), "-q", "true"},
                                 o);
    auto finish = [&](bool pass, const std::string &text) {
        stop_child(bridge);
        close(poe);
        std::string tail = read_file(root.host("/poe.out")) +
                           read_file(root.host("/var/log/serbridge.log")).substr(0, 400);
        return soak_verdict(pass, "serbridge", pass ? text : text + "\n" + tail);
    };
    PppLink host(host_pty.master), modem(modem_pty.master);
    if (!at_ok(host)) return finish(false, "no OK to AT at start");

    std::mt19937 rng(15);
    long at_bytes = 0, relay_bytes = 0;
    int half = seconds * 1000 / 2;
    if (!noise(host, modem, false, half, rng, &at_bytes))
        return finish(false, "the serial line stopped taking bytes in the AT phase");
    drain(host, modem);
    if (!at_ok(host)) return finish(false, "no OK to AT after the AT-phase noise");

    host.clear_text();
    host.send_text(
        "\x15"
        "atd#777\r");
    if (!host.wait_text("CONNECT\r\n", 20000)) return finish(false, "no CONNECT to a dial");
    // The host's Configure-Request until it reaches the modem side, then the modem's Ack.
    Frame req = lcp_frame(1, 1, {0x01, 0x04, 0x05, 0xDC}), got;
    bool relayed = false;
    for (int i = 0; i < 20 && !relayed; ++i) {
        host.send(req);
        while (!relayed && modem.receive(&got, 500))
            relayed = got == req;
    }
    if (!relayed) return finish(false, "the link did not come up after the dial");
    if (!noise(host, modem, true, seconds * 1000 - half, rng, &relay_bytes))
        return finish(false, "a line stopped taking bytes in the relay");
    drain(host, modem);
    bool up_link = relays(host, modem, 0x11), down_link = relays(modem, host, 0x22);

    // Quiet: whatever noise is still being worked through first, then the measured seconds.
    env_sleep_ms(1000);
    drain(host, modem);
    long before = process_cpu_ticks(bridge);
    env_sleep_ms(kIdleMs);
    long idle_ticks = process_cpu_ticks(bridge) - before;
    bool alive = kill(bridge, 0) == 0;
    long log = file_size(root.host("/var/log/serbridge.log"));
    long old_log = file_size(root.host("/var/log/serbridge.log.old"));

    char text[512];
    snprintf(text, sizeof text,
             "%d s of noise: %ld bytes in the AT phase, %ld bytes in the relay; OK after the AT "
             "noise: yes, frames relayed after: up %s, down %s; CPU over %d idle s: %ld ticks "
             "(goal 0); log %ld bytes, old log %ld bytes (cap %ld); bridge %s",
             seconds, at_bytes, relay_bytes, up_link ? "yes" : "NO", down_link ? "yes" : "NO",
             kIdleMs / 1000, idle_ticks, log, old_log, kLogFileLimit, alive ? "alive" : "DEAD");
    bool pass = up_link && down_link && before >= 0 && idle_ticks == 0 && log <= kLogFileLimit &&
                old_log <= kLogFileLimit && alive;
    return finish(pass, text);
}
