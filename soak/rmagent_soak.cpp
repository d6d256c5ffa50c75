// rmagent under SECONDS (default 60) of random datagrams from two senders at once, while the
// simulated management server keeps its session: one sender on the server's own address
// (another port), one on another loopback address. The stranger's datagrams include
// well-formed configuration pushes, commit, restore and upgrade requests; none may change
// nvram or signal init. The server's address may be obeyed, but its random datagrams leave out
// the requests that reboot or flash. Afterwards the session must still be the first one (no
// new registration), keepalives still acknowledged, and a push from the server applied.
// Prints one PASS or FAIL line.
//   rmagent_soak [SECONDS]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/env.h"
#include "platform/nvram.h"
#include "platform/nvram_testing.h"
#include "soak/soak_util.h"
#include "tests/support/testsupport.h"

namespace {

using namespace testsupport;

constexpr char kStranger[] = "127.0.0.2";

int count(const std::string &text, const std::string &needle) {
    int n = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        ++n;
    return n;
}

void put16(std::vector<uint8_t> &d, size_t at, unsigned v) {
    d[at] = static_cast<uint8_t>(v >> 8);
    d[at + 1] = static_cast<uint8_t>(v);
}

// A server datagram: header with the simulated server's session id, then `payload`.
std::vector<uint8_t> datagram(uint32_t seq, unsigned oid, unsigned kind, unsigned magic,
                              const std::vector<uint8_t> &payload, int payloadlen = -1) {
    std::vector<uint8_t> d(36 + payload.size(), 0);
    const uint8_t sid[8] = {0x52, 0x43, 0x4d, 0, 0, 0, 0, 1};
    memcpy(d.data(), sid, 8);
    d[24] = static_cast<uint8_t>(seq >> 24);
    d[25] = static_cast<uint8_t>(seq >> 16);
    d[26] = static_cast<uint8_t>(seq >> 8);
    d[27] = static_cast<uint8_t>(seq);
    put16(d, 28, oid);
    put16(d, 30, kind);
    put16(d, 32, magic);
    put16(d, 34, payloadlen >= 0 ? static_cast<unsigned>(payloadlen) : payload.size());
    if (!payload.empty()) memcpy(d.data() + 36, payload.data(), payload.size());
    return d;
}

std::vector<uint8_t> config_payload(const std::string &entry) {
    std::vector<uint8_t> p = {0, 1, 0, 0};  // wireless unit 0
    p.insert(p.end(), entry.begin(), entry.end());
    p.push_back(0);
    return p;
}

struct Sender {
    std::string from;
    bool stranger;
    std::atomic<long> sent{0};
};

// Random datagrams to the agent for `seconds`: raw noise, headers with random fields and
// payloads, lengths that lie; from the stranger also the requests that matter.
void barrage(Sender *who, int agent_port, int seconds, unsigned seed) {
    int s = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    inet_pton(AF_INET, who->from.c_str(), &a.sin_addr);
    if (s < 0 || bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
        fprintf(stderr, "rmagent_soak: cannot bind %s\n", who->from.c_str());
        if (s >= 0) close(s);
        return;
    }
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(agent_port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::mt19937 rng(seed);
    auto rnd = [&](unsigned n) { return static_cast<unsigned>(rng() % n); };
    const unsigned oids[] = {1, 2, 3, 4, 6, 7, 9, 0x0101, 0x0104, 0x0105, 0xFFFF};
    const unsigned stranger_oids[] = {0x0100, 0x0101, 0x0102, 0x0103, 0x0104};
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < end) {
        std::vector<uint8_t> d;
        std::vector<uint8_t> noise(rnd(300));
        for (uint8_t &b : noise)
            b = static_cast<uint8_t>(rng());
        switch (rnd(5)) {
            case 0:
                d = noise;
                break;
            case 1: {  // a header of random fields
                unsigned oid = rnd(0x10000);
                if (!who->stranger && oid >= 0x0100 && oid <= 0x0103) oid = 0x0104;
                d = datagram(rng(), oid, rnd(6), rnd(4) ? 0x002B : rnd(0x10000), noise);
                break;
            }
            case 2:  // a payload length that lies
                d = datagram(rng(), oids[rnd(sizeof oids / sizeof *oids)], rnd(4), 0x002B, noise,
                             static_cast<int>(noise.size() + 1 + rnd(8000)));
                break;
            case 3:  // a plausible request or acknowledgement with random payload
                d = datagram(rng(), oids[rnd(sizeof oids / sizeof *oids)], rnd(4), 0x002B, noise);
                break;
            default:
                if (who->stranger) {
                    unsigned oid = stranger_oids[rnd(5)];
                    d = datagram(rng(), oid, rnd(2) * 2, 0x002B,
                                 oid == 0x0101 ? config_payload("wl_ssid=intruder") : noise);
                } else {
                    d = datagram(rng(), 7, 1, 0x002B, {});  // a keepalive acknowledgement
                }
                break;
        }
        (void)sendto(s, d.data(), d.size(), 0, reinterpret_cast<sockaddr *>(&to), sizeof to);
        who->sent++;
        env_sleep_ms(2);
    }
    close(s);
}

}  // namespace

int main(int argc, char **argv) {
    int seconds = argc > 1 ? atoi(argv[1]) : 60;
    if (seconds <= 0) seconds = 60;
    TempRouterRoot root;
    nvram_testing_forget();
    mkdir(root.host("/bin").c_str(), 0755);
    write_file(root.host("/bin/killall"), "#!/bin/sh\nexit 0\n");
    chmod(root.host("/bin/killall").c_str(), 0755);
    if (nvram_set("wan0_ipaddr", "10.1.2.3") != 0 || nvram_set("wl0_ssid", "before") != 0 ||
        nvram_set("SN", "SOAK00000001") != 0 || nvram_commit() != 0)
        return soak_verdict(false, "rmagent", "nvram cannot be seeded");

    int key = unused_ipc_key();
    FedProgram ring, server;
    if (!ring.start("syslogring", {"-k", std::to_string(key), "-s", "4096"},
                    root.host("/ring.out")) ||
        !wait_until([&] { return read_file(root.host("/ring.out")).find("ready") == 0; }, 30000))
        return soak_verdict(false, "rmagent", "the syslog ring did not start");
    if (!server.start("rcmserver", {"-j", "-p", "0", "-o", root.host("/port")},
                      root.host("/server.out")) ||
        !wait_until([&] { return !read_file(root.host("/port")).empty(); }, 30000))
        return soak_verdict(false, "rmagent", "the management server did not start");
    int server_port = std::stoi(read_file(root.host("/port")));
    pid_t init = fork();
    if (init == 0) {
        pause();
        _exit(0);
    }
    write_file(root.host("/var/run/init.pid"), std::to_string(init));
    int agent_port = free_loopback_port(SOCK_DGRAM);
    SpawnOptions o;
    o.env = {"RMAGENT_PORT=" + std::to_string(agent_port),
             "RMAGENT_ADDR=127.0.0.1",
             "RMAGENT_SERVER_PORT=" + std::to_string(server_port),
             "RMAGENT_SYSLOG_KEY=" + std::to_string(key),
             "RMAGENT_DESKMGR_PORT=0",
             "RMAGENT_DISCOVERY_PORT=0"};
    o.path_prefix = root.host("/bin");
    o.stderr_path = root.host("/agent.err");
    pid_t agent = spawn_program("rmagent", {"-d", "-s", "127.0.0.1", "-m", "soak.example"}, o);
    auto server_out = [&] { return read_file(root.host("/server.out")); };
    auto finish = [&](bool pass, const std::string &text) {
        stop_child(agent);
        kill(init, SIGKILL);
        waitpid(init, nullptr, 0);
        return soak_verdict(pass, "rmagent", text);
    };
    // Registered, and the first keepalive answered: the session is up.
    if (!wait_until([&] { return count(server_out(), "\"msg\":\"keepalive\"") > 0; }, 60000))
        return finish(false, "no session with the server within 60 s");

    Sender near{"127.0.0.1", false}, stranger{kStranger, true};
    std::atomic<bool> running{true};
    std::string applied_from_stranger;
    std::thread watch([&] {  // the stranger's push must never show, not even for a while
        while (running) {
            nvram_testing_forget();
            std::string ssid = nvram_safe_get("wl0_ssid");
            if (ssid == "intruder") applied_from_stranger = "wl0_ssid=intruder";
            env_sleep_ms(200);
        }
    });
    std::thread a(barrage, &near, agent_port, seconds, 1u);
    std::thread b(barrage, &stranger, agent_port, seconds, 2u);
    a.join();
    b.join();
    int keepalives = count(server_out(), "\"msg\":\"keepalive\"");

    // After the storm: still the first session, still acknowledged, still obeying its server.
    bool alive = kill(agent, 0) == 0;
    bool keeps_alive = wait_until(
        [&] { return count(server_out(), "\"msg\":\"keepalive\"") > keepalives + 1; }, 30000);
    int registrations = count(server_out(), "\"msg\":\"register\"");
    bool push_ok = server.say("config 1 0 wl_ssid=server%20push") &&
                   wait_until(
                       [] {
                           nvram_testing_forget();
                           return std::string(nvram_safe_get("wl0_ssid")) == "server push";
                       },
                       30000);
    running = false;
    watch.join();
    nvram_testing_forget();
    std::string restore = nvram_safe_get("restore_defaults");
    bool init_signalled = waitpid(init, nullptr, WNOHANG) != 0;
    // Neither sender's upgrade command may be taken: the server's address sends none.
    bool upgrade_taken =
        read_file(root.host("/agent.err")).find("get upgradecmd") != std::string::npos;

    char text[512];
    snprintf(text, sizeof text,
             "%d s: %ld datagrams from the server's address, %ld from %s; agent %s, "
             "registrations %d (goal 1), keepalives acknowledged after: %s, server push "
             "applied after: %s, from the stranger applied: %s, restore_defaults \"%s\", init "
             "signalled: %s, upgrade taken: %s",
             seconds, near.sent.load(), stranger.sent.load(), kStranger, alive ? "alive" : "DEAD",
             registrations, keeps_alive ? "yes" : "NO", push_ok ? "yes" : "NO",
             applied_from_stranger.empty() ? "nothing" : applied_from_stranger.c_str(),
             restore.c_str(), init_signalled ? "YES" : "no", upgrade_taken ? "YES" : "no");
    bool pass = alive && registrations == 1 && keeps_alive && push_ok &&
                applied_from_stranger.empty() && restore.empty() && !init_signalled &&
                !upgrade_taken;
    return finish(pass, text);
}
