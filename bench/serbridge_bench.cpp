// Frames through serbridge with the user-space PPP channels: host -> bridge -> modem peer ->
// bridge -> host, one frame in flight, against the same traffic carried byte for byte between
// the same kind of pty pairs by a trivial copy loop, measured in the same run.
//   serbridge_bench [FRAMES]
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_util.h"
#include "platform/nvram.h"
#include "sim/ppp_link.h"
#include "tests/support/testsupport.h"

namespace {

using namespace testsupport;

// The PPP peer behind the modem: acknowledges Configure-Requests, echoes everything else.
void echo_peer(int fd, std::atomic<bool> *stop) {
    PppLink link(fd);
    Frame f;
    while (!stop->load()) {
        if (!link.receive(&f, 100)) {
            if (link.closed()) return;
            continue;
        }
        if (lcp_code(f) == 1) f[2] = 2;
        link.send(f);
    }
}

struct Result {
    std::vector<uint64_t> ns;
    double seconds = 0;
    int lost = 0;
};

// Sends `count` data frames one at a time from `host`, each answered by the echo.
Result ping_pong(PppLink &host, int count) {
    Result r;
    Frame f = {0x00, 0x21};
    for (int k = 0; k < 100; ++k)
        f.push_back(static_cast<uint8_t>(k * 13));  // a 100-byte packet with some escapes
    uint64_t start = bench_now_ns();
    for (int i = -50; i < count; ++i) {  // the first 50 warm up
        f[2] = static_cast<uint8_t>(i);
        uint64_t t0 = bench_now_ns();
        host.send(f);
        Frame got;
        bool ok = false;
        while (!ok && host.receive(&got, 2000))
            ok = got == f;
        if (!ok) ++r.lost;
        if (i == -1) start = bench_now_ns();
        if (i >= 0) r.ns.push_back(bench_now_ns() - t0);
    }
    r.seconds = (bench_now_ns() - start) / 1e9;
    return r;
}

Result through_serbridge(int count) {
    TempRouterRoot root;
    mkdir(root.host("/var/log").c_str(), 0755);
    mkdir(root.host("/tmp/ppp").c_str(), 0755);
    Pty host_pty, modem_pty;
    if (nvram_set("wan_maxentrys", "1") != 0 || nvram_set("wan0_proto", "4") != 0 ||
        nvram_set("wan0_devname", modem_pty.slave.c_str()) != 0) {
        fprintf(stderr, "serbridge_bench: nvram cannot be set\n");
        exit(1);
    }
    std::atomic<bool> stop{false};
    std::thread peer(echo_peer, modem_pty.master, &stop);
    SpawnOptions o;
    o.env = {"SERBRIDGE_PPP_CHANNEL=hdlc"};
    pid_t bridge = spawn_program(
        "serbridge",
        {"-a", "-s", host_pty.slave, "-m", modem_pty.slave, "-c", "true", "-q", "true"}, o);
    PppLink host(host_pty.master);
    Result r;
    Frame req = lcp_frame(1, 1), got;
    bool up = false;
    for (int i = 0; i < 50 && !up; ++i) {  // until the bridge is up and the modem answers
        host.send(req);
        while (!up && host.receive(&got, 200))
            up = lcp_code(got) == 2;
    }
    if (up)
        r = ping_pong(host, count);
    else
        fprintf(stderr, "serbridge did not come up\n");
    stop_child(bridge);
    stop = true;
    peer.join();
    return r;
}

// The trivial relay: bytes copied both ways between the slave sides of two ptys.
[[noreturn]] void copy_loop(int a, int b) {
    char buf[4096];
    for (;;) {
        pollfd p[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
        if (poll(p, 2, -1) < 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (!p[i].revents) continue;
            ssize_t n = read(p[i].fd, buf, sizeof buf);
            if (n <= 0) _exit(0);
            if (write(p[1 - i].fd, buf, static_cast<size_t>(n)) != n) _exit(0);
        }
    }
}

Result through_copy_loop(int count) {
    Pty host_pty, modem_pty;
    pid_t copier = fork();
    if (copier == 0) copy_loop(host_pty.slave_fd, modem_pty.slave_fd);
    std::atomic<bool> stop{false};
    std::thread peer(echo_peer, modem_pty.master, &stop);
    PppLink host(host_pty.master);
    Result r = ping_pong(host, count);
    kill(copier, SIGKILL);
    waitpid(copier, nullptr, 0);
    stop = true;
    peer.join();
    return r;
}

void report(const char *what, const Result &r) {
    char value[64];
    double fps = r.seconds > 0 ? r.ns.size() / r.seconds : 0;
    snprintf(value, sizeof value, "%.0f frames/s", fps);
    std::string name = std::string(what) + ": frames/s";
    bench_row(name.c_str(), value, "");
    LatencySummary s = summarize(r.ns);
    snprintf(value, sizeof value, "%.0f us (p99 %.0f)", s.median_us, s.p99_us);
    name = std::string(what) + ": round trip median";
    bench_row(name.c_str(), value, "");
    if (r.lost) {
        snprintf(value, sizeof value, "%d", r.lost);
        name = std::string(what) + ": frames lost";
        bench_row(name.c_str(), value, "0");
    }
}

}  // namespace

int main(int argc, char **argv) {
    int count = argc > 1 ? atoi(argv[1]) : 2000;
    if (count <= 0) count = 2000;
    Result copy = through_copy_loop(count);
    Result bridge = through_serbridge(count);
    report("100-byte frames, pty copy loop", copy);
    report("100-byte frames, serbridge hdlc", bridge);
    double copy_med = summarize(copy.ns).median_us, bridge_med = summarize(bridge.ns).median_us;
    char value[64];
    snprintf(value, sizeof value, "%.2f x", copy_med > 0 ? bridge_med / copy_med : 0);
    bench_row("serbridge / copy loop, median round trip", value, "small");
    snprintf(value, sizeof value, "%+.0f us", bridge_med - copy_med);
    bench_row("serbridge added latency, median round trip", value, "");
    return bridge.ns.empty() ? 1 : 0;
}
