#include "rmagent/agent_fixture.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "common/bytes.h"
#include "platform/console_testing.h"
#include "platform/eventloop.h"
#include "platform/eventloop_testing.h"
#include "platform/nvram.h"
#include "platform/nvram_testing.h"
#include "platform/wireless.h"
#include "rmagent/cgi.h"
#include "rmagent/register.h"
#include "rmagent/status.h"
#include "rmagent/syslog_ring.h"
#include "rmagent/trace.h"

namespace {

AgentTest *g_test;
FakeServer *g_server;

}  // namespace

uint32_t Datagram::seq() const {
    return get_be32(bytes.data() + 24);
}
uint16_t Datagram::oid() const {
    return get_be16(bytes.data() + 28);
}
uint16_t Datagram::kind() const {
    return get_be16(bytes.data() + 30);
}
uint16_t Datagram::payloadlen() const {
    return get_be16(bytes.data() + 34);
}
std::string Datagram::text() const {
    return bytes.size() > 40 ? std::string(bytes.begin() + 40, bytes.end()) : "";
}
std::vector<std::string> Datagram::entries() const {
    std::vector<std::string> out;
    std::string t = text();
    for (size_t i = 0; i < t.size();) {
        size_t end = t.find('\0', i);
        if (end == std::string::npos) end = t.size();
        if (end > i) out.push_back(t.substr(i, end - i));
        i = end + 1;
    }
    return out;
}

FakeServer::FakeServer() {
    sock = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    addr_.sin_family = AF_INET;
    addr_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(sock, reinterpret_cast<sockaddr *>(&addr_), sizeof addr_);
    socklen_t len = sizeof addr_;
    getsockname(sock, reinterpret_cast<sockaddr *>(&addr_), &len);
}

FakeServer::~FakeServer() {
    close(sock);
}

void FakeServer::pump() {
    for (;;) {
        uint8_t buf[9000];
        socklen_t len = sizeof agent;
        ssize_t n = recvfrom(sock, buf, sizeof buf, 0, reinterpret_cast<sockaddr *>(&agent), &len);
        if (n < 0) return;
        got.push_back({std::vector<uint8_t>(buf, buf + n)});
        if (n < 36 || get_be16(buf + 30) != 0 || silent) continue;
        if (ignore && ignore(got.back())) continue;
        std::vector<uint8_t> reply(buf, buf + 36);
        memcpy(reply.data(), session_id, 8);
        if (reply_oid) put_be16(reply.data() + 28, reply_oid);
        put_be16(reply.data() + 30, reply_kind);
        put_be16(reply.data() + 32, 0x002B);
        put_be16(reply.data() + 34, 0);
        send(reply);
    }
}

void FakeServer::send(const std::vector<uint8_t> &bytes) {
    sendto(sock, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr *>(&agent),
           sizeof agent);
}

std::vector<uint8_t> FakeServer::request(uint16_t oid, uint16_t kind, uint32_t seq,
                                         const std::vector<uint8_t> &payload, uint16_t magic) {
    std::vector<uint8_t> b(36, 0);
    b[0] = 0xAA;
    b[9] = 0x01;
    memcpy(b.data() + 12, "SRVSERIAL", 9);
    put_be32(b.data() + 24, seq);
    put_be16(b.data() + 28, oid);
    put_be16(b.data() + 30, kind);
    put_be16(b.data() + 32, magic);
    put_be16(b.data() + 34, static_cast<uint16_t>(payload.size()));
    b.insert(b.end(), payload.begin(), payload.end());
    return b;
}

std::vector<Datagram> FakeServer::with_oid(uint16_t oid) const {
    std::vector<Datagram> out;
    for (const Datagram &d : got)
        if (d.bytes.size() >= 36 && d.oid() == oid) out.push_back(d);
    return out;
}

void AgentTest::SetUp() {
    g_test = this;
    g_server = &server_;
    nvram_testing_forget();
    console_testing_forget();  // no rate-limit counts carried over from an earlier test
    eventloop_reset();
    // Each of the agent's blocking waits first lets the fake server answer.
    env_.on_wait = [](int, int) {
        g_server->pump();
        if (g_test->on_wait) g_test->on_wait();
    };
    setenv("RMAGENT_PORT", "0", 1);
    setenv("RMAGENT_ADDR", "127.0.0.1", 1);
    int key = testsupport::unused_ipc_key();
    ASSERT_EQ(0, ring_create(&ring_, key, 4096));
    setenv("RMAGENT_SYSLOG_KEY", std::to_string(key).c_str(), 1);
    syslog_ring_testing_detach();
    // Platform commands the agent starts: a killall that only records its arguments.
    std::string bin = root_.host("/bin");
    mkdir(bin.c_str(), 0755);
    testsupport::write_file(bin + "/killall",
                            "#!/bin/sh\necho \"killall $*\" >> \"$ROUTER_ROOT/killall.log\"\n");
    chmod((bin + "/killall").c_str(), 0755);
    const char *path = getenv("PATH");
    old_path_ = path ? path : "/usr/bin:/bin";
    setenv("PATH", (bin + ":" + old_path_).c_str(), 1);
    debug = 1;
    trace_ = tmpfile();
    rcm_set_debug_stream(trace_);
    gps_send_interval = 10;
    s_ = rcm_session_new();
    ASSERT_NE(nullptr, s_);
    s_->server = server_.addr();
}

void AgentTest::TearDown() {
    for (event_timer *t : {&rcm_retransmit, &rcm_logsender, &rcm_gpssender, &rcm_keepalive})
        del_event(t);
    if (s_ && s_->sock >= 0) close(s_->sock);
    rcm_session_free(s_);
    (void)init_cgi(nullptr, 0);  // only empties the table: cannot fail
    syslog_ring_testing_detach();
    ring_destroy(&ring_);
    eventloop_reset();
    rcm_wl_ioctl = wl_ioctl;
    rcm_set_debug_stream(nullptr);
    if (trace_) fclose(trace_);
    debug = 0;
    setenv("PATH", old_path_.c_str(), 1);
    nvram_testing_forget();
    g_test = nullptr;
}

void AgentTest::open_session() {
    ASSERT_GE(rcm_open(s_), 0);
}

void AgentTest::step() {
    eventloop_step(0);
    reboots_ = env_.reboot_waits();
}

void AgentTest::run_for(int seconds) {
    for (int i = 0; i < seconds; ++i) {
        env_.advance(1000);
        eventloop_step(0);
        server_.pump();
        eventloop_step(0);
    }
    reboots_ = env_.reboot_waits();
}

std::string AgentTest::trace() {
    fflush(trace_);
    std::string out;
    rewind(trace_);
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, trace_)) > 0)
        out.append(buf, n);
    fseek(trace_, 0, SEEK_END);
    return out;
}

std::string AgentTest::console() {
    return testsupport::read_file(root_.host("/dev/console"));
}

void AgentTest::set_nvram(const char *name, const char *value) {
    ASSERT_EQ(0, nvram_set(name, value));
}
