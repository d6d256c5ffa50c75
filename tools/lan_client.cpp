#include "tools/lan_client.h"

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "common/bytes.h"
#include "common/lan_records.h"
#include "platform/env.h"

namespace {

std::string dotted(uint32_t net) {
    char text[INET_ADDRSTRLEN];
    in_addr a;
    a.s_addr = net;
    inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

bool parse_record(const uint8_t *data, size_t len, uint8_t opcode, discovery_record *r,
                  std::string *why) {
    if (len != kDiscoveryRecordSize) {
        *why = "a reply of " + std::to_string(len) + " bytes, not 696";
        return false;
    }
    if (data[0] != kDiscoverySignature) {
        *why = "unknown signature " + std::to_string(data[0]);
        return false;
    }
    if (discovery_decode(data, len, r) != kDiscoveryOk) {
        *why = "undecodable record";
        return false;
    }
    if (r->opcode != opcode) {
        *why = "opcode " + std::to_string(r->opcode) + ", not " + std::to_string(opcode);
        return false;
    }
    return true;
}

// Milliseconds left until `deadline` on the seam's clock, 0 when past.
int left_ms(unsigned long deadline) {
    long left = env_ms_until(deadline, env_now_ms());
    return left > 0 ? static_cast<int>(left) : 0;
}

bool wait_readable(int fd, int timeout_ms) {
    pollfd p = {fd, POLLIN, 0};
    return poll(&p, 1, timeout_ms) > 0;
}

class Fd {
  public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) close(fd_);
    }
    int get() const { return fd_; }

  private:
    int fd_;
};

}  // namespace

bool lan_parse_info_reply(const uint8_t *data, size_t len, RouterInfo *out, std::string *why) {
    discovery_record r;
    if (!parse_record(data, len, kDiscoveryInfoReply, &r, why)) return false;
    out->flags = r.flags;
    out->model = r.model;
    memcpy(out->mac, r.hwaddr, 6);
    out->lan_addr = r.lan_addr;
    out->netmask = r.netmask;
    out->reconnect = r.reconnect;
    return true;
}

bool lan_parse_set_reply(const uint8_t *data, size_t len, std::string *why) {
    discovery_record r;
    return parse_record(data, len, kDiscoverySetReply, &r, why);
}

bool lan_parse_deskmgr_response(const uint8_t *data, size_t len, const uint8_t request[12],
                                uint32_t *result, std::string *why) {
    if (len != kDeskmgrResponseSize) {
        *why = "a response of " + std::to_string(len) + " bytes, not 16";
        return false;
    }
    deskmgr_header req, got;
    if (!deskmgr_header_decode(request, kDeskmgrHeaderSize, &req) ||
        !deskmgr_header_decode(data, len, &got)) {
        *why = "undecodable header";
        return false;
    }
    if (got.tag != req.tag || got.command != req.command || got.spare != req.spare) {
        *why = "a response to another request";
        return false;
    }
    if (got.type != kDeskmgrResponse || got.length != kDeskmgrResponseSize) {
        *why = "type " + std::to_string(got.type) + " length " + std::to_string(got.length) +
               ", not a response";
        return false;
    }
    *result = get_be32(data + kDeskmgrHeaderSize);
    return true;
}

std::string lan_format_info(const RouterInfo &info) {
    std::string line = "router " + dotted(info.from.s_addr) + ": model \"" + info.model + "\"";
    char mac[18];
    snprintf(mac, sizeof mac, "%02x:%02x:%02x:%02x:%02x:%02x", info.mac[0], info.mac[1],
             info.mac[2], info.mac[3], info.mac[4], info.mac[5]);
    line += ", MAC " + std::string(info.flags & kFlagHwaddr ? mac : "-");
    line += ", LAN " + (info.flags & kFlagReplyLanAddr ? dotted(info.lan_addr) : "-");
    line += " netmask " + (info.flags & kFlagReplyNetmask ? dotted(info.netmask) : "-");
    line += ", reconnect interval " +
            (info.flags & kFlagReconnect ? std::to_string(info.reconnect) + " s" : "-");
    return line;
}

bool lan_is_broadcast(uint32_t addr) {
    uint32_t h = ntohl(addr);
    if (h == 0xFFFFFFFFu || (h >> 28) == 0xE) return true;
    // The kernel refuses to connect a socket without SO_BROADCAST to an address it routes as
    // a broadcast: it knows every subnet's broadcast address, loopback's included.
    Fd fd(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (fd.get() < 0) return false;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = addr;
    to.sin_port = htons(9);
    return connect(fd.get(), reinterpret_cast<sockaddr *>(&to), sizeof to) < 0 && errno == EACCES;
}

LanStatus lan_find(const sockaddr_in &to, int timeout_ms, std::vector<RouterInfo> *found,
                   std::vector<std::string> *notes) {
    Fd fd(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    int on = 1;
    if (fd.get() < 0 || setsockopt(fd.get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on) < 0) {
        notes->push_back(std::string("socket: ") + strerror(errno));
        return kLanNoAnswer;
    }
    bool broadcast = lan_is_broadcast(to.sin_addr.s_addr);
    uint8_t req[kDiscoveryRecordSize] = {};
    req[0] = kDiscoverySignature;
    req[1] = kDiscoveryGetInfo;
    unsigned long deadline = env_now_ms() + static_cast<unsigned long>(timeout_ms);
    unsigned long next_ask = env_now_ms();
    bool malformed = false;
    while (left_ms(deadline) > 0) {
        if (env_ms_until(next_ask, env_now_ms()) <= 0) {
            if (sendto(fd.get(), req, sizeof req, 0, reinterpret_cast<const sockaddr *>(&to),
                       sizeof to) != static_cast<ssize_t>(sizeof req)) {
                notes->push_back(std::string("sendto ") + dotted(to.sin_addr.s_addr) + ": " +
                                 strerror(errno));
                return kLanNoAnswer;
            }
            next_ask = env_now_ms() + 1000;
        }
        int wait = left_ms(deadline);
        long until_ask = env_ms_until(next_ask, env_now_ms());
        if (until_ask < wait) wait = until_ask > 0 ? static_cast<int>(until_ask) : 0;
        if (!wait_readable(fd.get(), wait)) continue;
        uint8_t buf[2048];
        sockaddr_in from{};
        socklen_t from_len = sizeof from;
        ssize_t n = recvfrom(fd.get(), buf, sizeof buf, MSG_DONTWAIT,
                             reinterpret_cast<sockaddr *>(&from), &from_len);
        if (n < 0) continue;
        RouterInfo info;
        std::string why;
        if (!lan_parse_info_reply(buf, static_cast<size_t>(n), &info, &why)) {
            notes->push_back("malformed reply from " + dotted(from.sin_addr.s_addr) + ": " + why);
            malformed = true;
            continue;
        }
        info.from = from.sin_addr;
        bool seen = false;
        for (const RouterInfo &r : *found)
            seen = seen || r.from.s_addr == info.from.s_addr;
        if (!seen) found->push_back(info);
        if (!broadcast) break;
    }
    if (!found->empty()) return kLanOk;
    return malformed ? kLanBadReply : kLanNoAnswer;
}

LanStatus lan_set(const sockaddr_in &to, const LanSet &set, int timeout_ms, std::string *why) {
    if (lan_is_broadcast(to.sin_addr.s_addr)) {
        *why = dotted(to.sin_addr.s_addr) + " is a broadcast address: a set goes to one router";
        return kLanUsage;
    }
    if (set.has_netmask && !lan_netmask_valid(set.netmask)) {
        *why = "netmask " + dotted(set.netmask) + ": only 255.0.0.0 to 255.255.255.252";
        return kLanUsage;
    }
    if (set.has_lan && !lan_host_addr_valid(set.lan, set.has_netmask ? set.netmask : 0)) {
        *why = "LAN address " + dotted(set.lan) + " cannot be a LAN host";
        return kLanUsage;
    }
    if (set.community.size() > kDiscoveryCommunitySize) {
        *why = "community longer than 32 characters";
        return kLanUsage;
    }
    discovery_record r{};
    r.signature = kDiscoverySignature;
    r.opcode = kDiscoverySet;
    if (set.has_community) {
        r.flags |= kFlagCommunity;
        memcpy(r.community, set.community.data(), set.community.size());
    }
    if (set.has_lan) {
        r.flags |= kFlagSetLanAddr;
        r.lan_addr = set.lan;
    }
    if (set.has_netmask) {
        r.flags |= kFlagSetNetmask;
        r.netmask = set.netmask;
    }
    if (set.has_interval) {
        r.flags |= kFlagReconnect;
        r.reconnect = set.interval;
    }
    uint8_t req[kDiscoveryRecordSize];
    discovery_encode(r, req);
    Fd fd(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (fd.get() < 0 || connect(fd.get(), reinterpret_cast<const sockaddr *>(&to), sizeof to) < 0 ||
        send(fd.get(), req, sizeof req, 0) != static_cast<ssize_t>(sizeof req)) {
        *why = std::string("send to ") + dotted(to.sin_addr.s_addr) + ": " + strerror(errno);
        return kLanNoAnswer;
    }
    unsigned long deadline = env_now_ms() + static_cast<unsigned long>(timeout_ms);
    bool malformed = false;
    while (wait_readable(fd.get(), left_ms(deadline))) {
        uint8_t buf[2048];
        ssize_t n = recv(fd.get(), buf, sizeof buf, MSG_DONTWAIT);
        if (n < 0) continue;
        if (lan_parse_set_reply(buf, static_cast<size_t>(n), why)) return kLanOk;
        malformed = true;
    }
    if (!malformed)
        *why = "no set reply from " + dotted(to.sin_addr.s_addr) +
               " (a router refuses a set it cannot apply without answering)";
    return malformed ? kLanBadReply : kLanNoAnswer;
}

LanStatus lan_wan(const sockaddr_in &to, uint16_t command, int timeout_ms, uint32_t *result,
                  std::string *why) {
    unsigned long deadline = env_now_ms() + static_cast<unsigned long>(timeout_ms);
    Fd fd(socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (fd.get() < 0) {
        *why = std::string("socket: ") + strerror(errno);
        return kLanNoAnswer;
    }
    if (connect(fd.get(), reinterpret_cast<const sockaddr *>(&to), sizeof to) < 0) {
        int err = errno;
        if (err == EINPROGRESS) {
            pollfd p = {fd.get(), POLLOUT, 0};
            socklen_t len = sizeof err;
            if (poll(&p, 1, left_ms(deadline)) <= 0)
                err = ETIMEDOUT;
            else if (getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &err, &len) < 0)
                err = errno;
        }
        if (err != 0 && err != EINPROGRESS) {
            *why = "connect to " + dotted(to.sin_addr.s_addr) + ": " + strerror(err);
            return kLanNoAnswer;
        }
    }
    deskmgr_header h{};
    h.tag = static_cast<uint32_t>(getpid()) ^ static_cast<uint32_t>(env_now_ms());
    h.command = command;
    h.type = kDeskmgrRequest;
    h.length = kDeskmgrHeaderSize;
    uint8_t req[kDeskmgrHeaderSize];
    deskmgr_header_encode(h, req);
    if (send(fd.get(), req, sizeof req, MSG_NOSIGNAL) != static_cast<ssize_t>(sizeof req)) {
        *why = std::string("send: ") + strerror(errno);
        return kLanNoAnswer;
    }
    uint8_t buf[kDeskmgrResponseSize];
    size_t got = 0;
    while (got < sizeof buf && wait_readable(fd.get(), left_ms(deadline))) {
        ssize_t n = recv(fd.get(), buf + got, sizeof buf - got, 0);
        if (n == 0) break;  // closed by the router
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR) continue;
            break;
        }
        got += static_cast<size_t>(n);
    }
    if (got == 0) {
        *why = "no response from " + dotted(to.sin_addr.s_addr);
        return kLanNoAnswer;
    }
    return lan_parse_deskmgr_response(buf, got, req, result, why) ? kLanOk : kLanBadReply;
}
