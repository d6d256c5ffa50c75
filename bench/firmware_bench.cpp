// The firmware download and check: rmagent pulling a 7.5 MiB image from rcmserver over
// loopback, against a raw request/answer loop (32 requests in flight, 1024-byte answers, each
// written at its offset in a file) served by the same rcmserver in the same run; the image
// check against a byte-at-a-time table CRC of the same bytes in memory; and the agent's peak
// resident size during the downloads above its idle size.
//   firmware_bench [RUNS]
#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "common/bytes.h"
#include "rmagent/upgrade.h"
#include "tests/support/testsupport.h"
#include "tools/trx_image.h"

namespace {

using namespace testsupport;

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// The "seconds" of the n-th "served" summary rcmserver printed, -1 when not yet there.
double served_seconds(const std::string &out, int n) {
    size_t at = 0;
    for (int i = 0; i <= n; ++i) {
        at = out.find("\"msg\":\"served\"", at);
        if (at == std::string::npos) return -1;
        if (i < n) ++at;
    }
    size_t s = out.find("\"seconds\":", at);
    return s == std::string::npos ? -1 : atof(out.c_str() + s + 10);
}

long status_kib(pid_t pid, const char *field) {
    std::string st = read_file("/proc/" + std::to_string(pid) + "/status");
    size_t at = st.find(field);
    return at == std::string::npos ? -1 : atol(st.c_str() + at + strlen(field));
}

// The raw loop: fragment requests to the server, 32 in flight, answers written at their
// offsets. Returns false when the server stopped answering.
bool raw_download(int port, uint32_t count, const std::string &file) {
    int sock = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in srv{};
    srv.sin_family = AF_INET;
    srv.sin_port = htons(static_cast<uint16_t>(port));
    srv.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connect(sock, reinterpret_cast<sockaddr *>(&srv), sizeof srv);
    int fd = open(file.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
    std::vector<bool> got(count, false);
    uint32_t next = 0, done = 0, seq = 0;
    auto request = [&](uint32_t index) {
        uint8_t b[40] = {};
        put_be32(b + 24, seq++);
        put_be16(b + 28, 6);
        put_be16(b + 30, 2);
        put_be16(b + 32, 0x6B);
        put_be16(b + 34, 4);
        put_be16(b + 36, static_cast<uint16_t>(index));
        if (send(sock, b, sizeof b, 0) < 0) exit(1);
    };
    for (; next < 32 && next < count; ++next)
        request(next);
    uint8_t buf[8192];
    while (done < count) {
        pollfd p{sock, POLLIN, 0};
        if (poll(&p, 1, 1000) <= 0) {  // lost on the way: ask again for what is missing
            bool any = false;
            for (uint32_t i = 0; i < next; ++i)
                if (!got[i]) request(i), any = true;
            if (!any) break;
            continue;
        }
        ssize_t n = recv(sock, buf, sizeof buf, 0);
        if (n < 40 || get_be16(buf + 28) != 6) continue;
        uint16_t index = get_be16(buf + 36);
        if (index >= count || got[index]) continue;
        if (pwrite(fd, buf + 40, static_cast<size_t>(n - 40), index * 1024l) < 0) exit(1);
        got[index] = true;
        ++done;
        if (next < count) request(next++);
    }
    close(fd);
    close(sock);
    return done == count;
}

}  // namespace

int main(int argc, char **argv) {
    int runs = argc > 1 ? atoi(argv[1]) : 5;
    TempRouterRoot root;
    if (getenv("BENCH_KEEP")) fprintf(stderr, "root %s\n", root.path().c_str());
    mkdir(root.host("/bin").c_str(), 0755);
    mkdir(root.host("/proc").c_str(), 0755);
    auto script = [&](const std::string &name, const std::string &body) {
        write_file(root.host("/bin/" + name), "#!/bin/sh\n" + body + "\n");
        chmod(root.host("/bin/" + name).c_str(), 0755);
    };
    script("killall", "exit 0");
    // The flash writer only counts: the agent goes back to its session for the next run.
    script("mtd", "echo x >> \"$ROUTER_ROOT/mtd.log\"\nexit 1");
    write_file(root.host("/proc/meminfo"), "MemTotal: 65536 kB\nMemFree: 32768 kB\n");

    TrxBuild b;
    std::vector<uint8_t> payload(7864320 - 28);
    for (size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<uint8_t>(i * 31 + (i >> 12));
    b.payloads.push_back(payload);
    std::vector<uint8_t> image = trx_build(b);
    std::string image_path = root.host("/image.trx");
    write_file(image_path, std::string(image.begin(), image.end()));
    uint32_t count = static_cast<uint32_t>((image.size() + 1023) / 1024);

    int key = unused_ipc_key();
    FedProgram ring, server;
    if (!ring.start("syslogring", {"-k", std::to_string(key), "-s", "4096"},
                    root.host("/ring.out")))
        return 1;
    if (!server.start("rcmserver", {"-j", "-p", "0", "-o", root.host("/port")},
                      root.host("/server.out")))
        return 1;
    if (!wait_until(
            [&] {
                return !read_file(root.host("/port")).empty() &&
                       read_file(root.host("/ring.out")).find("ready") == 0;
            },
            30000))
        return 1;
    int port = std::stoi(read_file(root.host("/port")));
    SpawnOptions o;
    o.env = {"RMAGENT_PORT=0", "RMAGENT_ADDR=127.0.0.1",
             "RMAGENT_SERVER_PORT=" + std::to_string(port),
             "RMAGENT_SYSLOG_KEY=" + std::to_string(key)};
    o.path_prefix = root.host("/bin");
    o.stderr_path = root.host("/agent.err");
    pid_t agent = spawn_program("rmagent", {"-s", "127.0.0.1", "-m", "bench"}, o);
    if (!wait_until(
            [&] {
                return read_file(root.host("/server.out")).find("wl0_sta_maxunit") !=
                       std::string::npos;
            },
            30000))
        return 1;
    usleep(200000);
    long idle_kib = status_kib(agent, "VmRSS:");

    // Alternate the agent and the raw loop, so both meet the same load on the host.
    std::vector<double> agent_mbs, raw_mbs;
    int served = 0;
    for (int run = 0; run < runs; ++run) {
        if (!server.say("firmware " + image_path)) return 1;
        if (!wait_until(
                [&] { return served_seconds(read_file(root.host("/server.out")), served) >= 0; },
                120000) ||
            !wait_until([&] { return read_file(root.host("/mtd.log")).size() == 2u * (run + 1); },
                        60000)) {
            fprintf(stderr, "firmware_bench: the agent's download did not end\n");
            return 1;
        }
        agent_mbs.push_back(image.size() / 1e6 /
                            served_seconds(read_file(root.host("/server.out")), served++));
        if (!server.say("image " + image_path))
            return 1;  // loaded again, no command: counts start afresh
        usleep(100000);
        if (!raw_download(port, count, root.host("/raw.out")) ||
            !wait_until(
                [&] { return served_seconds(read_file(root.host("/server.out")), served) >= 0; },
                30000)) {
            fprintf(stderr, "firmware_bench: the raw loop did not end\n");
            return 1;
        }
        raw_mbs.push_back(image.size() / 1e6 /
                          served_seconds(read_file(root.host("/server.out")), served++));
    }
    for (size_t i = 0; i < agent_mbs.size(); ++i)
        fprintf(stderr, "firmware_bench: run %zu: agent %.1f MB/s, raw %.1f MB/s\n", i,
                agent_mbs[i], raw_mbs[i]);
    long peak_kib = status_kib(agent, "VmHWM:");
    stop_child(agent);

    // The check: the agent's reading and CRC of the file, against a byte table in memory.
    int fd = open(root.host("/image.trx").c_str(), O_RDONLY);
    std::vector<double> check_mbs, byte_mbs;
    uint32_t table[256];
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        table[i] = c;
    }
    volatile uint32_t sink = 0;
    for (int run = 0; run < 7; ++run) {
        uint64_t t0 = bench_now_ns();
        if (rcm_check_image(fd, static_cast<uint32_t>(image.size())) != 0) return 1;
        uint64_t t1 = bench_now_ns();
        uint32_t crc = 0xFFFFFFFFu;
        for (size_t i = 12; i < image.size(); ++i)
            crc = (crc >> 8) ^ table[(crc ^ image[i]) & 0xFF];
        uint64_t t2 = bench_now_ns();
        sink = sink + crc;
        check_mbs.push_back(image.size() / 1e3 / ((t1 - t0) / 1e6));
        byte_mbs.push_back(image.size() / 1e3 / ((t2 - t1) / 1e6));
    }
    close(fd);

    char v[64];
    double a = median(agent_mbs), r = median(raw_mbs);
    snprintf(v, sizeof v, "%.1f MB/s (%.2f of raw %.1f)", a, r > 0 ? a / r : 0, r);
    bench_row("rmagent firmware download, 7.5 MiB over loopback", v, ">=0.7, >=30MB/s");
    double c = median(check_mbs), bt = median(byte_mbs);
    snprintf(v, sizeof v, "%.0f MB/s (%.1fx byte table)", c, bt > 0 ? c / bt : 0);
    bench_row("rmagent image check (read + CRC-32 of the file)", v, ">=2x");
    snprintf(v, sizeof v, "+%ld KiB (idle %ld KiB)", peak_kib - idle_kib, idle_kib);
    bench_row("rmagent peak RSS during download, above idle", v, "<=256 KiB");
    return 0;
}
