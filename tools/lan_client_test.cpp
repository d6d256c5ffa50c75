// The LAN client: its reply parsers, what it takes for a broadcast address, a find by
// broadcast on loopback against a stand-in router, and sets refused before anything is sent.
#include "tools/lan_client.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "common/bytes.h"

namespace {

uint32_t ip(const char *dotted) {
    in_addr a{};
    inet_pton(AF_INET, dotted, &a);
    return a.s_addr;
}

std::vector<uint8_t> info_reply() {
    std::vector<uint8_t> r(696, 0);
    r[0] = 0xBA;
    r[1] = 2;
    put_be16(&r[2], 0x24D7);
    const uint8_t mac[] = {0x00, 0x90, 0x4C, 0x0A, 0x0B, 0x0C};
    memcpy(&r[36], mac, 6);
    inet_pton(AF_INET, "192.168.1.1", &r[44]);
    memcpy(&r[48], "CR-100", 6);
    inet_pton(AF_INET, "255.255.255.0", &r[600]);
    put_be32(&r[692], 45);
    return r;
}

TEST(LanReplies, InformationReplyIsReadAndPrintedWithEveryFigure) {
    std::vector<uint8_t> r = info_reply();
    RouterInfo info;
    std::string why;
    ASSERT_TRUE(lan_parse_info_reply(r.data(), r.size(), &info, &why)) << why;
    info.from.s_addr = ip("127.0.0.1");
    EXPECT_EQ(
        "router 127.0.0.1: model \"CR-100\", MAC 00:90:4c:0a:0b:0c, LAN 192.168.1.1 "
        "netmask 255.255.255.0, reconnect interval 45 s",
        lan_format_info(info));
    info.flags = 0x0400;
    EXPECT_EQ("router 127.0.0.1: model \"CR-100\", MAC -, LAN - netmask -, reconnect interval -",
              lan_format_info(info));
}

TEST(LanReplies, MalformedDiscoveryRepliesAreRefusedWithTheirReason) {
    RouterInfo info;
    std::string why;
    std::vector<uint8_t> r = info_reply();
    EXPECT_FALSE(lan_parse_info_reply(r.data(), 695, &info, &why));
    EXPECT_EQ("a reply of 695 bytes, not 696", why);
    r.push_back(0);
    EXPECT_FALSE(lan_parse_info_reply(r.data(), r.size(), &info, &why));
    r.pop_back();
    r[0] = 0xAB;  // a request's other signature, never a reply's
    EXPECT_FALSE(lan_parse_info_reply(r.data(), r.size(), &info, &why));
    r[0] = 0xBA;
    r[1] = 4;
    EXPECT_FALSE(lan_parse_info_reply(r.data(), r.size(), &info, &why));
    EXPECT_EQ("opcode 4, not 2", why);
    EXPECT_TRUE(lan_parse_set_reply(r.data(), r.size(), &why));
    r[1] = 1;
    EXPECT_FALSE(lan_parse_set_reply(r.data(), r.size(), &why));
}

TEST(LanReplies, DeskmgrResponseMustEchoTheRequest) {
    const uint8_t req[12] = {1, 2, 3, 4, 0, 3, 0, 1, 0, 0, 0, 12};
    uint8_t resp[16] = {1, 2, 3, 4, 0, 3, 0, 2, 0, 0, 0, 16, 0, 0, 0, 2};
    uint32_t result = 0;
    std::string why;
    ASSERT_TRUE(lan_parse_deskmgr_response(resp, 16, req, &result, &why)) << why;
    EXPECT_EQ(2u, result);
    EXPECT_FALSE(lan_parse_deskmgr_response(resp, 15, req, &result, &why));
    struct Case {
        int offset;
        uint8_t value;
    } cases[] = {{0, 9}, {5, 1}, {6, 1}, {7, 1}, {11, 12}};
    for (const Case &c : cases) {
        uint8_t bad[16];
        memcpy(bad, resp, 16);
        bad[c.offset] = c.value;
        EXPECT_FALSE(lan_parse_deskmgr_response(bad, 16, req, &result, &why)) << c.offset;
    }
}

TEST(LanAddresses, BroadcastAndMulticastAddressesAreKnownAsSuch) {
    EXPECT_TRUE(lan_is_broadcast(ip("255.255.255.255")));
    EXPECT_TRUE(lan_is_broadcast(ip("127.255.255.255")));
    EXPECT_TRUE(lan_is_broadcast(ip("239.1.2.3")));
    EXPECT_FALSE(lan_is_broadcast(ip("127.0.0.1")));
    EXPECT_FALSE(lan_is_broadcast(ip("127.0.0.2")));
}

// A stand-in router: answers every discovery datagram with `reply`, on its own thread.
class StandIn {
  public:
    explicit StandIn(std::vector<uint8_t> reply) : reply_(std::move(reply)) {
        fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_ANY);  // broadcasts reach only a socket bound so
        bind(fd_, reinterpret_cast<sockaddr *>(&a), sizeof a);
        socklen_t len = sizeof a;
        getsockname(fd_, reinterpret_cast<sockaddr *>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~StandIn() {
        stop_ = true;
        thread_.join();
        close(fd_);
    }
    uint16_t port() const { return port_; }
    int received() const { return received_; }

  private:
    void serve() {
        while (!stop_) {
            pollfd p = {fd_, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;
            uint8_t buf[1024];
            sockaddr_in from{};
            socklen_t len = sizeof from;
            ssize_t n =
                recvfrom(fd_, buf, sizeof buf, 0, reinterpret_cast<sockaddr *>(&from), &len);
            if (n < 0) continue;
            ++received_;
            sendto(fd_, reply_.data(), reply_.size(), 0, reinterpret_cast<sockaddr *>(&from), len);
        }
    }
    std::vector<uint8_t> reply_;
    int fd_ = -1;
    uint16_t port_ = 0;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<int> received_{0};
};

sockaddr_in to(const char *addr, uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = ip(addr);
    a.sin_port = htons(port);
    return a;
}

TEST(LanFind, ByBroadcastOnLoopbackFindsTheRouterOnce) {
    StandIn router(info_reply());
    std::vector<RouterInfo> found;
    std::vector<std::string> notes;
    EXPECT_EQ(kLanOk, lan_find(to("127.255.255.255", router.port()), 2500, &found, &notes));
    ASSERT_EQ(1u, found.size()) << "asked again each second, listed once";
    EXPECT_EQ(ip("127.0.0.1"), found[0].from.s_addr);
    EXPECT_EQ("CR-100", found[0].model);
    EXPECT_TRUE(notes.empty());
}

TEST(LanFind, OnlyMalformedRepliesGiveTheirOwnStatus) {
    std::vector<uint8_t> bad = info_reply();
    bad.resize(100);
    StandIn router(bad);
    std::vector<RouterInfo> found;
    std::vector<std::string> notes;
    EXPECT_EQ(kLanBadReply, lan_find(to("127.0.0.1", router.port()), 1500, &found, &notes));
    ASSERT_FALSE(notes.empty());
    EXPECT_EQ("malformed reply from 127.0.0.1: a reply of 100 bytes, not 696", notes[0]);
}

TEST(LanSetClient, RefusedBeforeSendingForABroadcastAddressOrAFigureTheRouterWouldRefuse) {
    StandIn router(info_reply());
    LanSet interval;
    interval.has_interval = true;
    interval.interval = 60;
    std::string why;
    EXPECT_EQ(kLanUsage, lan_set(to("127.255.255.255", router.port()), interval, 1000, &why));
    EXPECT_EQ("127.255.255.255 is a broadcast address: a set goes to one router", why);
    EXPECT_EQ(kLanUsage, lan_set(to("255.255.255.255", router.port()), interval, 1000, &why));
    LanSet mask;
    mask.has_netmask = true;
    mask.netmask = ip("255.255.255.254");
    EXPECT_EQ(kLanUsage, lan_set(to("127.0.0.1", router.port()), mask, 1000, &why));
    LanSet lan;
    lan.has_lan = true;
    lan.lan = ip("10.0.0.0");
    lan.has_netmask = true;
    lan.netmask = ip("255.255.255.0");
    EXPECT_EQ(kLanUsage, lan_set(to("127.0.0.1", router.port()), lan, 1000, &why));
    EXPECT_EQ("LAN address 10.0.0.0 cannot be a LAN host", why);
    // The stand-in answers an information reply to anything: not a set reply.
    EXPECT_EQ(kLanBadReply, lan_set(to("127.0.0.1", router.port()), interval, 1500, &why));
    EXPECT_EQ(1, router.received()) << "only the last set was sent";
}

}  // namespace
