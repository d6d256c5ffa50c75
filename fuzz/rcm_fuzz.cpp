// The management datagrams of the agent (rmagent/protocol.h): the header, the server's
// requests and acknowledgements as rcm_handler takes them (configuration request with its
// name/value batch, commit, restore defaults, send status), and the reply that registration
// and variable batches wait for. A real loopback UDP pair stands for the server; the agent's
// waits are instant (readable now, or a time-out at once).
//
// Whatever the server sends: the header parser agrees with the layout and never accepts a
// payload longer than what arrived; every datagram the agent sends back is a well-formed
// agent datagram within its buffer, and an acknowledgement echoes the request's header; a
// reply is taken only with the session's seq, and its bytes 0-7 become the session id.
//
// Input: mode byte (bit 0: headers built by the target; bit 1: await a reply instead of the
// handler), then datagrams: raw as u16 length (mod 8300) + bytes; built as oid, kind (u16
// each, small numbers likely), payload as u16 length (mod 1500) + bytes.
#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <string>

#include "fuzz/fuzz_support.h"
#include "platform/env.h"
#include "rmagent/cgi.h"
#include "rmagent/handler.h"
#include "rmagent/protocol.h"
#include "rmagent/session.h"
#include "rmagent/status.h"
#include "rmagent/transport.h"

namespace {

uint16_t be16(const uint8_t *p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}
uint32_t be32(const uint8_t *p) {
    return static_cast<uint32_t>(be16(p)) << 16 | be16(p + 2);
}

int bound_socket(sockaddr_in *addr) {
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    FUZZ_CHECK(fd >= 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    FUZZ_CHECK(bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0);
    socklen_t alen = sizeof a;
    FUZZ_CHECK(getsockname(fd, reinterpret_cast<sockaddr *>(&a), &alen) == 0);
    int big = 1 << 20;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
    *addr = a;
    return fd;
}

// Readable now, or a time-out at once: nothing waits in real time.
int instant_wait(int fd, int) {
    pollfd p = {fd, POLLIN, 0};
    return poll(&p, 1, 0);
}
void no_sleep(unsigned long) {}
uint32_t uptime() {
    return 1000;
}
void no_reboot() {}
int no_wireless(const char *, int, void *, int) {
    return -1;
}

struct World {
    rcm_session *s;
    int server;
    sockaddr_in agent_addr;
};

World &world() {
    static World w = [] {
        World v{};
        v.s = rcm_session_new();
        FUZZ_CHECK(v.s);
        sockaddr_in server_addr;
        v.server = bound_socket(&server_addr);
        v.s->sock = bound_socket(&v.agent_addr);
        v.s->server = server_addr;
        static env_ops ops = env_real_ops;
        ops.waitfor = instant_wait;
        ops.sleep_ms = no_sleep;
        ops.uptime = uptime;
        ops.reboot_wait = no_reboot;
        env_install(&ops);
        rcm_wl_ioctl = no_wireless;
        for (event_timer *t : {&rcm_retransmit, &rcm_logsender, &rcm_gpssender, &rcm_keepalive})
            t->ctx = v.s;
        return v;
    }();
    return w;
}

void check_header(const FuzzBytes &d) {
    rcm_header h;
    RcmParse r = rcm_parse_header(d.data(), d.size(), &h);
    if (d.size() < kRcmHeaderLen) {
        FUZZ_CHECK(r == kRcmTooShort);
        return;
    }
    FUZZ_CHECK(h.seq == be32(&d[24]) && h.oid == be16(&d[28]) && h.kind == be16(&d[30]) &&
               h.magic == be16(&d[32]) && h.payloadlen == be16(&d[34]));
    FUZZ_CHECK(r == (kRcmHeaderLen + h.payloadlen <= d.size() ? kRcmParsed : kRcmBadLength));
}

// The name/value batch of a configuration request, as init_cgi takes it apart: every
// "name=value" string is found with the value of its last occurrence.
void check_batch(const FuzzBytes &d) {
    if (d.size() < kRcmHeaderLen + kBatchPrefixLen) return;
    const uint8_t *text = d.data() + kRcmHeaderLen + kBatchPrefixLen;
    size_t len = d.size() - kRcmHeaderLen - kBatchPrefixLen;
    std::vector<char> buf(text, text + len);
    buf.push_back('\x7F');  // init_cgi ends the last string here
    FUZZ_CHECK(init_cgi(buf.data(), len) == 0);
    std::map<std::string, std::string> last;
    for (size_t i = 0; i < len;) {
        size_t n = 0;
        while (i + n < len && text[i + n] != 0)
            ++n;
        std::string entry(reinterpret_cast<const char *>(text + i), n);
        size_t eq = entry.find('=');
        if (eq != std::string::npos) last[entry.substr(0, eq)] = entry.substr(eq + 1);
        i += n + 1;
    }
    for (const auto &[name, value] : last) {
        const char *got = get_cgi(name.c_str());
        FUZZ_CHECK(got && value == got);
    }
    (void)init_cgi(nullptr, 0);  // only empties the table
}

// Everything the agent sent since the last look: well-formed agent datagrams; an
// acknowledgement echoes `request`'s header.
void check_sent(int server, const FuzzBytes &request) {
    static uint8_t buf[65536];
    ssize_t n;
    while ((n = recv(server, buf, sizeof buf, MSG_DONTWAIT)) > 0) {
        FUZZ_CHECK(static_cast<size_t>(n) >= kRcmHeaderLen &&
                   static_cast<size_t>(n) <= kRcmBufSize);
        FUZZ_CHECK(be16(buf + 32) == kAgentMagic);
        FUZZ_CHECK(kRcmHeaderLen + be16(buf + 34) <= static_cast<size_t>(n));
        if (be16(buf + 30) == kKindAck) {
            FUZZ_CHECK(n == static_cast<ssize_t>(kRcmHeaderLen) && be16(buf + 34) == 0);
            FUZZ_CHECK(request.size() >= kRcmHeaderLen && memcmp(buf, request.data(), 30) == 0);
        }
    }
}

FuzzBytes built(FuzzInput &in, uint32_t seq) {
    uint16_t oid = in.u16(), kind = in.u16();
    // Small numbers are the interesting ones: map most of the space onto them.
    if (oid & 0x8000) oid = static_cast<uint16_t>(0x0100 + (oid & 7));
    kind &= 0x8003;
    FuzzBytes payload = in.bytes(in.u16() % 1500);
    FuzzBytes d(kRcmHeaderLen, 0);
    for (int i = 0; i < 8; ++i)
        d[i] = static_cast<uint8_t>(0xA0 + i);
    d[24] = static_cast<uint8_t>(seq >> 24);
    d[25] = static_cast<uint8_t>(seq >> 16);
    d[26] = static_cast<uint8_t>(seq >> 8);
    d[27] = static_cast<uint8_t>(seq);
    d[28] = static_cast<uint8_t>(oid >> 8);
    d[29] = static_cast<uint8_t>(oid);
    d[30] = static_cast<uint8_t>(kind >> 8);
    d[31] = static_cast<uint8_t>(kind);
    d[32] = 0x00;
    d[33] = 0x2B;
    d[34] = static_cast<uint8_t>(payload.size() >> 8);
    d[35] = static_cast<uint8_t>(payload.size());
    d.insert(d.end(), payload.begin(), payload.end());
    return d;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz_init();
    World &w = world();
    rcm_session *s = w.s;
    // Whatever an earlier input left waiting on either side is dropped.
    static uint8_t junk[65536];
    while (recv(s->sock, junk, sizeof junk, MSG_DONTWAIT) > 0) {
    }
    while (recv(w.server, junk, sizeof junk, MSG_DONTWAIT) > 0) {
    }

    FuzzInput in(data, size);
    uint8_t mode = in.u8();
    int count = 0;
    while (in.left() > 0 && count++ < 8) {
        FuzzBytes d = mode & 1 ? built(in, s->seq) : in.bytes(in.u16() % 8300);
        check_header(d);
        check_batch(d);
        if (sendto(w.server, d.data(), d.size(), 0, reinterpret_cast<sockaddr *>(&w.agent_addr),
                   sizeof w.agent_addr) != static_cast<ssize_t>(d.size()))
            continue;
        if (mode & 2) {
            uint8_t id_before[8];
            memcpy(id_before, s->session_id, 8);
            uint32_t seq = s->seq;
            int r = rcm_await_reply(s);
            FUZZ_CHECK(r == 0 || r == 1);
            rcm_header h;
            // The agent receives at most kRcmBufSize bytes of a datagram.
            size_t got = d.size() < kRcmBufSize ? d.size() : kRcmBufSize;
            bool reply = rcm_parse_header(d.data(), got, &h) == kRcmParsed && h.seq == seq;
            FUZZ_CHECK(r == (reply ? 1 : 0));
            FUZZ_CHECK(memcmp(s->session_id, reply ? d.data() : id_before, 8) == 0);
        } else {
            fd_desc desc = {s->sock, rcm_handler, s};
            int r = rcm_handler(&desc);
            FUZZ_CHECK(r == 0 || r == -1);
            check_sent(w.server, d);
        }
    }
    return 0;
}
