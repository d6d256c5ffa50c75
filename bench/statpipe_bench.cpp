// statpipe's round trip (command pipe -> simulated Sierra card on a pty -> response pipe) next
// to the same get done directly on the card's port with cns_send/cns_recv, in the same run.
//   statpipe_bench [COUNT]
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "sim/cardsim/cardsim_thread.h"
#include "statpipe/cnsutil/cnsutil.h"
#include "tests/support/testsupport.h"

namespace {

using namespace testsupport;

// A get of the signal strength under application id AA BB CC DD.
const uint8_t kGet[] = {0x00, 0x0A, 0x2B, 0x00, 0x10, 0x01, 0x01,
                        0x00, 0xAA, 0xBB, 0xCC, 0xDD, 0x00, 0x00};

std::vector<uint64_t> direct(const std::string &port, int count, int *failures) {
    std::vector<uint64_t> ns;
    int fd = open(port.c_str(), O_RDWR | O_NOCTTY);
    if (fd < 0) return ns;
    uint8_t answer[kCnsFrameMax];
    for (int i = 0; i < count; ++i) {
        uint64_t t0 = bench_now_ns();
        bool ok = cns_send(fd, kGet, sizeof kGet, kGet + 9) == int(sizeof kGet) &&
                  cns_recv(fd, answer, sizeof answer) > 0;
        ns.push_back(bench_now_ns() - t0);
        *failures += ok ? 0 : 1;
    }
    close(fd);
    return ns;
}

std::vector<uint64_t> relayed(const TempRouterRoot &root, int count, int *failures) {
    std::vector<uint64_t> ns;
    int cmd = open(root.host("/tmp/cnscmd").c_str(), O_WRONLY | O_NONBLOCK);
    int rsp = open(root.host("/tmp/cnsrsp").c_str(), O_RDONLY | O_NONBLOCK);
    if (cmd < 0 || rsp < 0) return ns;
    uint8_t answer[kCnsFrameMax];
    for (int i = 0; i < count; ++i) {
        uint64_t t0 = bench_now_ns();
        bool ok = write(cmd, kGet, sizeof kGet) == ssize_t(sizeof kGet);
        pollfd p = {rsp, POLLIN, 0};
        ok = ok && poll(&p, 1, 5000) == 1 && read(rsp, answer, sizeof answer) > 0;
        ns.push_back(bench_now_ns() - t0);
        *failures += ok ? 0 : 1;
    }
    close(cmd);
    close(rsp);
    return ns;
}

void row(const char *what, const std::vector<uint64_t> &ns) {
    LatencySummary s = summarize(ns);
    char text[64];
    snprintf(text, sizeof text, "%.1f us (p99 %.1f)", s.median_us, s.p99_us);
    bench_row(what, text, "");
}

}  // namespace

int main(int argc, char **argv) {
    int count = argc > 1 ? atoi(argv[1]) : 2000;
    TempRouterRoot root;
    cardsim::CardSimThread card(cardsim::Family::kSierra);
    if (!card.ok()) return 1;
    int failures = 0;
    std::vector<uint64_t> plain = direct(card.slave(), count, &failures);

    mkdir(root.host("/dev/usb").c_str(), 0755);
    mkdir(root.host("/dev/usb/tts").c_str(), 0755);
    if (symlink(card.slave().c_str(), root.host("/dev/usb/tts/1").c_str()) < 0) return 1;
    SpawnOptions o;
    o.stdout_path = "/dev/null";
    pid_t pid = spawn_program("statpipe", {}, o);
    // Relaying once the ESN is published (the port is registered right after).
    if (!wait_until([&] { return !read_file(root.host("/tmp/nvram/working")).empty(); }, 10000))
        fprintf(stderr, "statpipe_bench: statpipe did not start\n");
    usleep(200000);
    std::vector<uint64_t> relay = relayed(root, count, &failures);
    stop_child(pid);

    row("CnS get, direct cns_send/cns_recv on the pty, median", plain);
    row("CnS get through statpipe's pipes, median", relay);
    char text[64];
    snprintf(text, sizeof text, "%d of %d", failures, 2 * count);
    bench_row("CnS gets without an answer", text, "0");
    return 0;
}
