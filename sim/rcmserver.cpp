// rcmserver: a management server to run the agent against, on a laptop or in the tests.
// Answers registrations, batches, keepalives and log reports; prints every datagram decoded;
// sends requests and misbehaves on command (standard input, one command a line).
//   rcmserver [-l ADDR] [-p PORT] [-o PORTFILE] [-j] [-w CAPTURE]
//     -l  address to listen on (default 127.0.0.1)   -p  UDP port (default 1162; 0: any)
//     -o  write the port listened on to PORTFILE      -j  print JSON lines instead of text
//     -w  write every datagram sent and taken to CAPTURE, a pcap file of IPv4 packets with the
//         addresses and ports they really had (tools/wireshark/rcm.lua decodes them)
// Commands:
//   config TYPE UNIT NAME=VALUE...  configuration request (%XX in a value: that byte)
//   commit | restore | status       requests 0x0102, 0x0103, 0x0104
//   request OID [KIND]              any request code (0x hex or decimal)
//   silent on|off                   stop / resume answering
//   drop N                          take the next N datagrams without answering
//   ackkind K | ackoid OID|same | seqoffset D   how answers are built from now on
//   sessionid HEX                   the session id given in answers (16 hex digits)
//   short                           send a 35-byte datagram to the agent
//   badmagic                        send a commit request carrying the agent's magic 0x006B
//   firmware FILE [COUNT TOTAL]     serve FILE: the upgrade command (count and total from the
//                                   file unless given), then a reply to every fragment request
//   image FILE [COUNT TOTAL]        serve FILE to fragment requests, without a command
//   fault KIND INDEX | fault KIND next N   misbehave for fragment INDEX once, or the next N
//                                   replies: drop, dup, reorder, corrupt, short, offset, overlong
//   stall on|off                    stop / resume answering fragment requests
//   quit
// Requests go to the address the agent last sent from.
#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "sim/rcm_capture.h"
#include "sim/rcm_decode.h"
#include "sim/rcm_firmware.h"

namespace {

struct Server {
    int sock = -1;
    bool json = false;
    bool silent = false;
    int drop = 0;
    int ack_kind = 1;
    int ack_oid = -1;  // -1: the datagram's own
    int seq_offset = 0;
    uint8_t session_id[8] = {0x52, 0x43, 0x4d, 0x00, 0x00, 0x00, 0x00, 0x01};
    uint8_t serial[12] = {};
    bool have_agent = false;
    sockaddr_in agent{};
    uint32_t next_seq = 1000;
    sockaddr_in local{};    // this end, as the agent addressed it
    bool any_addr = false;  // listening on every address: learn this end from each datagram
};

Server g;
FirmwareServer *g_fw;
sockaddr_in g_fragment_to;
RcmCapture g_capture;

void send_datagram(const uint8_t *buf, size_t len, const sockaddr_in &to) {
    if (sendto(g.sock, buf, len, 0, reinterpret_cast<const sockaddr *>(&to), sizeof to) >= 0)
        g_capture.record(g.local, to, buf, len);
}

// Receives one datagram and records it. When the server listens on every address, learns
// which of them the datagram was sent to: the address the capture gives this end.
ssize_t receive_datagram(uint8_t *buf, size_t size, sockaddr_in *from) {
    iovec iov{buf, size};
    alignas(cmsghdr) uint8_t control[CMSG_SPACE(sizeof(in_pktinfo))];
    msghdr msg{};
    msg.msg_name = from;
    msg.msg_namelen = sizeof *from;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    ssize_t n = recvmsg(g.sock, &msg, 0);
    if (n < 0) return n;
    for (cmsghdr *c = CMSG_FIRSTHDR(&msg); c && g.any_addr; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
            in_pktinfo info;
            memcpy(&info, CMSG_DATA(c), sizeof info);
            g.local.sin_addr = info.ipi_addr;
        }
    }
    g_capture.record(*from, g.local, buf, static_cast<size_t>(n));
    return n;
}

void send_to_agent(const uint8_t *buf, size_t len, const char *what) {
    if (!g.have_agent) {
        rcm_print_event("error", std::string("no agent yet for ") + what, g.json);
        return;
    }
    send_datagram(buf, len, g.agent);
    rcm_print_event("sent", what, g.json);
}

size_t request_header(uint8_t *buf, uint16_t oid, uint16_t kind, uint16_t magic, size_t payload) {
    memcpy(buf, g.session_id, 8);
    const uint8_t version[4] = {0, 1, 0, 0};
    memcpy(buf + 8, version, 4);
    memcpy(buf + 12, g.serial, 12);
    put_be32(buf + 24, g.next_seq++);
    put_be16(buf + 28, oid);
    put_be16(buf + 30, kind);
    put_be16(buf + 32, magic);
    put_be16(buf + 34, static_cast<uint16_t>(payload));
    return 36 + payload;
}

void answer(const uint8_t *in, size_t len) {
    uint8_t out[36];
    memcpy(out, g.session_id, 8);
    memcpy(out + 8, in + 8, 16);  // version and serial
    put_be32(out + 24, get_be32(in + 24) + static_cast<uint32_t>(g.seq_offset));
    put_be16(out + 28, g.ack_oid < 0 ? get_be16(in + 28) : static_cast<uint16_t>(g.ack_oid));
    put_be16(out + 30, static_cast<uint16_t>(g.ack_kind));
    put_be16(out + 32, 0x002B);
    put_be16(out + 34, 0);
    (void)len;
    send_datagram(out, sizeof out, g.agent);
}

void take_datagram() {
    uint8_t buf[8192];
    sockaddr_in from{};
    ssize_t n = receive_datagram(buf, sizeof buf, &from);
    if (n < 0) return;
    // Fragment replies go to whoever asked; requests still go to the agent.
    g_fragment_to = from;
    if (g_fw->take(buf, static_cast<size_t>(n), g.session_id)) return;
    g.agent = from;
    g.have_agent = true;
    rcm_print_datagram(buf, static_cast<size_t>(n), from, g.json);
    if (n < 36) return;
    uint16_t oid = get_be16(buf + 28), kind = get_be16(buf + 30);
    if (oid == 1) memcpy(g.serial, buf + 12, 12);
    if (kind != 0) return;  // acknowledgements, GPS reports and fragment requests
    if (g.drop > 0) {
        --g.drop;
        rcm_print_event("dropped", "seq " + std::to_string(get_be32(buf + 24)), g.json);
        return;
    }
    if (!g.silent) answer(buf, static_cast<size_t>(n));
}

std::string unescape(const char *s) {
    std::string out;
    for (; *s; ++s) {
        if (*s == '%' && s[1] && s[2]) {
            char h[3] = {s[1], s[2], 0};
            out += static_cast<char>(strtol(h, nullptr, 16));
            s += 2;
        } else {
            out += *s;
        }
    }
    return out;
}

void send_config(char *args) {
    char *save = nullptr;
    char *type = strtok_r(args, " ", &save), *unit = strtok_r(nullptr, " ", &save);
    if (!type || !unit) {
        rcm_print_event("error", "config TYPE UNIT NAME=VALUE...", g.json);
        return;
    }
    uint8_t buf[8192];
    uint8_t *payload = buf + 36;
    put_be16(payload, static_cast<uint16_t>(strtol(type, nullptr, 0)));
    put_be16(payload + 2, static_cast<uint16_t>(strtol(unit, nullptr, 0)));
    size_t len = 4;
    for (char *pair = strtok_r(nullptr, " ", &save); pair; pair = strtok_r(nullptr, " ", &save)) {
        std::string entry = unescape(pair);
        if (len + entry.size() + 1 > sizeof buf - 36) break;
        memcpy(payload + len, entry.c_str(), entry.size() + 1);
        len += entry.size() + 1;
    }
    send_to_agent(buf, request_header(buf, 0x0101, 0, 0x002B, len), "config");
}

void send_request(uint16_t oid, uint16_t kind, uint16_t magic, const char *what) {
    uint8_t buf[36];
    send_to_agent(buf, request_header(buf, oid, kind, magic, 0), what);
}

// Returns false on quit.
bool command(char *line) {
    line[strcspn(line, "\r\n")] = '\0';
    char *arg = strchr(line, ' ');
    if (arg) *arg++ = '\0';
    const char *a = arg ? arg : "";
    if (!strcmp(line, "quit")) return false;
    if (!strcmp(line, "firmware") || !strcmp(line, "image")) {
        char path[4096] = "";
        long count = -1, total = -1;
        std::string why;
        if (sscanf(a, "%4095s %ld %ld", path, &count, &total) < 1 ||
            !g_fw->load(path, count, total, &why)) {
            rcm_print_event("error", why.empty() ? "firmware FILE [COUNT TOTAL]" : why, g.json);
            return true;
        }
        if (!strcmp(line, "image")) {
            rcm_print_event("set", std::string("image ") + a, g.json);
            return true;
        }
        std::vector<uint8_t> p = g_fw->command_payload();
        uint8_t buf[44];
        memcpy(buf + 36, p.data(), p.size());
        send_to_agent(buf, request_header(buf, 0x0100, 0, 0x002B, p.size()), "upgrade");
        return true;
    }
    if (!strcmp(line, "fault")) {
        if (!g_fw->add_fault(a))
            rcm_print_event("error",
                            "fault drop|dup|reorder|corrupt|short|offset|overlong "
                            "INDEX|next N",
                            g.json);
        else
            rcm_print_event("set", std::string("fault ") + a, g.json);
        return true;
    }
    if (!strcmp(line, "stall")) {
        g_fw->stall(strcmp(a, "off") != 0);
        rcm_print_event("set", std::string("stall ") + a, g.json);
        return true;
    }
    if (!strcmp(line, "config")) {
        send_config(arg ? arg : const_cast<char *>(""));
    } else if (!strcmp(line, "commit")) {
        send_request(0x0102, 0, 0x002B, "commit");
    } else if (!strcmp(line, "restore")) {
        send_request(0x0103, 0, 0x002B, "restore");
    } else if (!strcmp(line, "status")) {
        send_request(0x0104, 0, 0x002B, "status");
    } else if (!strcmp(line, "request")) {
        char *end = nullptr;
        long oid = strtol(a, &end, 0);
        long kind = end && *end ? strtol(end, nullptr, 0) : 0;
        send_request(static_cast<uint16_t>(oid), static_cast<uint16_t>(kind), 0x002B, "request");
    } else if (!strcmp(line, "silent")) {
        g.silent = strcmp(a, "off") != 0;
    } else if (!strcmp(line, "drop")) {
        g.drop = atoi(a);
    } else if (!strcmp(line, "ackkind")) {
        g.ack_kind = static_cast<int>(strtol(a, nullptr, 0));
    } else if (!strcmp(line, "ackoid")) {
        g.ack_oid = !strcmp(a, "same") ? -1 : static_cast<int>(strtol(a, nullptr, 0));
    } else if (!strcmp(line, "seqoffset")) {
        g.seq_offset = static_cast<int>(strtol(a, nullptr, 0));
    } else if (!strcmp(line, "sessionid")) {
        for (int i = 0; i < 8 && a[2 * i] && a[2 * i + 1]; ++i) {
            char h[3] = {a[2 * i], a[2 * i + 1], 0};
            g.session_id[i] = static_cast<uint8_t>(strtol(h, nullptr, 16));
        }
    } else if (!strcmp(line, "short")) {
        uint8_t buf[36];
        request_header(buf, 0x0102, 0, 0x002B, 0);
        send_to_agent(buf, 35, "short");
    } else if (!strcmp(line, "badmagic")) {
        send_request(0x0102, 0, 0x006B, "badmagic");
    } else if (line[0]) {
        rcm_print_event("error", std::string("unknown command ") + line, g.json);
        return true;
    } else {
        return true;
    }
    if (strcmp(line, "config") && strcmp(line, "commit") && strcmp(line, "restore") &&
        strcmp(line, "status") && strcmp(line, "request") && strcmp(line, "short") &&
        strcmp(line, "badmagic"))
        rcm_print_event("set", std::string(line) + " " + a, g.json);
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    setvbuf(stdout, nullptr, _IOLBF, 0);
    const char *addr = "127.0.0.1", *port_file = nullptr, *capture = nullptr;
    int port = 1162, opt;
    while ((opt = getopt(argc, argv, "l:p:o:jw:")) != -1) {
        switch (opt) {
            case 'l':
                addr = optarg;
                break;
            case 'p':
                port = atoi(optarg);
                break;
            case 'o':
                port_file = optarg;
                break;
            case 'j':
                g.json = true;
                break;
            case 'w':
                capture = optarg;
                break;
            default:
                fprintf(stderr,
                        "usage: rcmserver [-l ADDR] [-p PORT] [-o PORTFILE] [-j] [-w CAPTURE]\n");
                return 2;
        }
    }
    FirmwareServer fw(
        [](const uint8_t *buf, size_t len) { send_datagram(buf, len, g_fragment_to); }, g.json);
    g_fw = &fw;
    g.sock = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<uint16_t>(port));
    if (g.sock < 0 || inet_pton(AF_INET, addr, &local.sin_addr) != 1 ||
        bind(g.sock, reinterpret_cast<sockaddr *>(&local), sizeof local) < 0) {
        perror("rcmserver: cannot listen");
        return 1;
    }
    socklen_t alen = sizeof local;
    getsockname(g.sock, reinterpret_cast<sockaddr *>(&local), &alen);
    g.local = local;
    g.any_addr = local.sin_addr.s_addr == htonl(INADDR_ANY);
    if (g.any_addr) {
        int on = 1;
        setsockopt(g.sock, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
    }
    if (capture) {
        std::string why;
        if (!g_capture.open(capture, &why)) {
            fprintf(stderr, "rcmserver: %s\n", why.c_str());
            return 1;
        }
    }
    if (port_file) {
        FILE *f = fopen(port_file, "w");
        if (f) {
            fprintf(f, "%d\n", ntohs(local.sin_port));
            fclose(f);
        }
    }
    rcm_print_event("listening", std::string(addr) + ":" + std::to_string(ntohs(local.sin_port)),
                    g.json);
    pollfd fds[2] = {{g.sock, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
    char line[8192];
    size_t have = 0;
    for (;;) {
        int nfds = fds[1].fd >= 0 ? 2 : 1;
        if (poll(fds, static_cast<nfds_t>(nfds), -1) < 0) continue;
        if (fds[0].revents & POLLIN) take_datagram();
        if (nfds == 2 && fds[1].revents) {
            ssize_t n = read(STDIN_FILENO, line + have, sizeof line - 1 - have);
            if (n <= 0) {
                fds[1].fd = -1;  // no more commands: go on serving
                continue;
            }
            have += static_cast<size_t>(n);
            line[have] = '\0';
            char *start = line;
            for (char *nl; (nl = strchr(start, '\n')) != nullptr; start = nl + 1) {
                *nl = '\0';
                if (!command(start)) return 0;
            }
            have = static_cast<size_t>(line + have - start);
            memmove(line, start, have);
            if (have == sizeof line - 1) have = 0;  // an over-long line is dropped
        }
    }
}
