// The LAN services in-process: the desktop manager's commands, nvram conditions and closing
// cases, its connection cap; the discovery service's information reply byte for byte, the
// set through the backup store and the reboot, refused sets and malformed datagrams.
#include <arpa/inet.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "common/bytes.h"
#include "platform/console_testing.h"
#include "platform/eventloop.h"
#include "platform/nvram.h"
#include "rmagent/agent_fixture.h"
#include "rmagent/deskmgr.h"
#include "rmagent/scantools.h"

namespace {

uint16_t bound_port(int fd) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
    return ntohs(a.sin_port);
}

bool readable(int fd, int timeout_ms) {
    pollfd p = {fd, POLLIN, 0};
    return poll(&p, 1, timeout_ms) > 0;
}

std::vector<uint8_t> request(uint16_t command, uint8_t type = 1, uint32_t length = 12) {
    std::vector<uint8_t> b = {0xCA, 0xFE, 0x00, 0x07, 0, 0, 0x5A, type, 0, 0, 0, 0};
    put_be16(&b[4], command);
    put_be32(&b[8], length);
    return b;
}

class LanTest : public AgentTest {
  protected:
    void SetUp() override {
        AgentTest::SetUp();
        setenv("RMAGENT_DESKMGR_PORT", "0", 1);
        setenv("RMAGENT_DISCOVERY_PORT", "0", 1);
        desk_ = deskmgr_open(2);
        ASSERT_GE(desk_, 0);
        disc_ = scantools_open(1);
        ASSERT_GE(disc_, 0);
        client_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in any{};
        any.sin_family = AF_INET;
        any.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(0, bind(client_, reinterpret_cast<sockaddr *>(&any), sizeof any));
    }
    void TearDown() override {
        for (int fd : conns_)
            close(fd);
        deskmgr_testing_close_all();
        close(client_);
        close(desk_);
        close(disc_);
        unsetenv("RMAGENT_DESKMGR_PORT");
        unsetenv("RMAGENT_DISCOVERY_PORT");
        AgentTest::TearDown();
    }
    // Runs the loop until `done` holds (bounded: a loaded host is slow, never this slow).
    bool pump_until(const std::function<bool()> &done) {
        for (int i = 0; i < 200 && !done(); ++i)
            eventloop_step(50);
        return done();
    }
    int connect_desk() {
        int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(bound_port(desk_));
        EXPECT_EQ(0, connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a));
        console_testing_forget();  // each connection's line is looked for, not rate-limited
        size_t before = console().size();
        EXPECT_TRUE(pump_until([&] {
            return console().find("recevie connect request", before) != std::string::npos;
        }));
        conns_.push_back(fd);
        return fd;
    }
    // Sends `msg` and returns what came back: the response, or nothing when the agent closed
    // the connection (waits, bounded, for one or the other).
    std::vector<uint8_t> ask(int fd, const std::vector<uint8_t> &msg) {
        EXPECT_EQ(static_cast<ssize_t>(msg.size()), send(fd, msg.data(), msg.size(), 0));
        EXPECT_TRUE(pump_until([&] { return readable(fd, 0); }));
        std::vector<uint8_t> out(64);
        ssize_t n = recv(fd, out.data(), out.size(), MSG_DONTWAIT);
        out.resize(n > 0 ? static_cast<size_t>(n) : 0);
        return out;
    }
    // True when `msg` gets no response: a status request sent after it on the same connection
    // is answered first (the agent takes one request per read, in order).
    bool silent(int fd, const std::vector<uint8_t> &msg) {
        EXPECT_EQ(static_cast<ssize_t>(msg.size()), send(fd, msg.data(), msg.size(), 0));
        size_t before = console().size();
        // Taken apart from the next request: wait until the agent has read it.
        EXPECT_TRUE(
            pump_until([&] { return console().find("len = ", before) != std::string::npos; }));
        std::vector<uint8_t> st = request(3);
        std::vector<uint8_t> got = ask(fd, st);
        return got.size() == 16 && std::equal(got.begin(), got.begin() + 7, st.begin()) &&
               got[7] == 2;
    }
    // True when the agent closed `fd` (the client reads end of stream).
    bool closed_by_agent(int fd) {
        if (!readable(fd, 5000)) return false;
        char c;
        return recv(fd, &c, 1, MSG_DONTWAIT) == 0;
    }
    void send_record(const std::vector<uint8_t> &rec) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(bound_port(disc_));
        ASSERT_EQ(
            static_cast<ssize_t>(rec.size()),
            sendto(client_, rec.data(), rec.size(), 0, reinterpret_cast<sockaddr *>(&a), sizeof a));
    }
    // The record answered to `rec`, or empty when none came.
    std::vector<uint8_t> exchange(const std::vector<uint8_t> &rec, const char *until_console) {
        size_t before = console().size();
        send_record(rec);
        pump_until([&] {
            return readable(client_, 0) ||
                   (until_console && console().find(until_console, before) != std::string::npos);
        });
        std::vector<uint8_t> out(2048);
        ssize_t n = recv(client_, out.data(), out.size(), MSG_DONTWAIT);
        out.resize(n > 0 ? static_cast<size_t>(n) : 0);
        return out;
    }

    int desk_ = -1, disc_ = -1, client_ = -1;
    std::vector<int> conns_;
};

std::vector<uint8_t> truncated(std::vector<uint8_t> v, size_t n) {
    v.resize(n);
    return v;
}

std::vector<uint8_t> response(const std::vector<uint8_t> &req, uint32_t result) {
    std::vector<uint8_t> r(req.begin(), req.begin() + 12);
    r[7] = 2;
    put_be32(&r[8], 16);
    r.resize(16);
    put_be32(&r[12], result);
    return r;
}

TEST_F(LanTest, ConnectAndDisconnectSetTheActionOnlyWhenTheLinkIsOurs) {
    struct Case {
        const char *enable, *mode;
        uint32_t result;
    } cases[] = {
        {nullptr, nullptr, 0}, {"1", "3", 0}, {"0", nullptr, 1},
        {nullptr, "2", 1},     {"1", "1", 1}, {"", "3", 1},
    };
    int fd = connect_desk();
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.enable ? c.enable : "unset") + "/" +
                     (c.mode ? c.mode : "unset"));
        ASSERT_EQ(0, nvram_unset("wan0_action"));
        if (c.enable)
            set_nvram("wan0_enable", c.enable);
        else
            ASSERT_EQ(0, nvram_unset("wan0_enable"));
        if (c.mode)
            set_nvram("wan0_wwan_mode", c.mode);
        else
            ASSERT_EQ(0, nvram_unset("wan0_wwan_mode"));
        std::vector<uint8_t> up = request(1);
        EXPECT_EQ(response(up, c.result), ask(fd, up));
        EXPECT_STREQ(c.result == 0 ? "start" : "", nvram_safe_get("wan0_action"));
        std::vector<uint8_t> down = request(2);
        EXPECT_EQ(response(down, c.result), ask(fd, down));
        EXPECT_STREQ(c.result == 0 ? "stop" : "", nvram_safe_get("wan0_action"));
    }
    std::string con = console();
    EXPECT_NE(std::string::npos, con.find("receive a wwan_connect request ! \n"));
    EXPECT_NE(std::string::npos, con.find("send response packet ! \n"));
    EXPECT_NE(std::string::npos, con.find("receive a wwan_disconnect request ! \n"));
    EXPECT_NE(std::string::npos, con.find("call deskmgr_handler ... \n"));
    EXPECT_NE(std::string::npos, con.find("call deskmgrp_rw_handler ... \n"));
    EXPECT_NE(std::string::npos, con.find("len = 12 \n"));
    EXPECT_NE(std::string::npos, con.find("msg_hdr->type = 01 (1) \n"));
}

TEST_F(LanTest, StatusIsOneOnlyWhenTheLinkIsDown) {
    int fd = connect_desk();
    std::vector<uint8_t> st = request(3);
    EXPECT_EQ(response(st, 2), ask(fd, st)) << "unset";
    set_nvram("wan0_status", "down");
    EXPECT_EQ(response(st, 1), ask(fd, st));
    set_nvram("wan0_status", "up");
    EXPECT_EQ(response(st, 2), ask(fd, st));
    EXPECT_NE(std::string::npos, console().find("receive a status request ! \n"));
}

TEST_F(LanTest, CommandFourAndUnknownCommandsGetNoResponseAndTheConnectionStaysOpen) {
    int fd = connect_desk();
    set_nvram("wan0_action", "none");
    EXPECT_TRUE(silent(fd, request(4)));
    EXPECT_TRUE(silent(fd, request(9)));
    EXPECT_TRUE(silent(fd, request(0)));
    EXPECT_STREQ("none", nvram_safe_get("wan0_action"));
    EXPECT_NE(std::string::npos, console().find("unknown command 9"));
    std::vector<uint8_t> st = request(3);
    EXPECT_EQ(response(st, 2), ask(fd, st)) << "the same connection still answers";
    EXPECT_EQ(1, deskmgr_connections());
}

TEST_F(LanTest, LongerRequestIsTakenWithTheLengthOnlyCompared) {
    int fd = connect_desk();
    std::vector<uint8_t> st = request(3, 1, 20);
    st.resize(20, 0xEE);
    EXPECT_EQ(response(st, 2), ask(fd, st));
    EXPECT_NE(std::string::npos, console().find("len = 20 \n"));
}

TEST_F(LanTest, BadRequestsCloseTheirConnectionWithTheirConsoleLine) {
    struct Case {
        std::vector<uint8_t> msg;
        const char *text;
    } cases[] = {
        {truncated(request(1), 11), "too short packet .. \n"},
        {request(1, 1, 20), "mismatch length packet .. \n"},
        {request(1, 2), "We are only to accept request packet \n"},
        {request(1, 0), "We are only to accept request packet \n"},
    };
    set_nvram("wan0_action", "none");
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        int fd = connect_desk();
        EXPECT_TRUE(ask(fd, c.msg).empty());
        EXPECT_TRUE(closed_by_agent(fd));
        EXPECT_NE(std::string::npos, console().find(c.text));
        EXPECT_EQ(0, deskmgr_connections());
    }
    EXPECT_NE(std::string::npos, console().find("msg_hdr->type = 02 (2) \n"));
    EXPECT_STREQ("none", nvram_safe_get("wan0_action"));

    int fd = connect_desk();
    shutdown(fd, SHUT_WR);  // the peer goes: nothing to read
    EXPECT_TRUE(pump_until([] { return deskmgr_connections() == 0; }));
    EXPECT_NE(std::string::npos, console().find("read fail .... \n"));
}

TEST_F(LanTest, SeventeenthConnectionIsClosedAtOnceAndTheOthersAreStillServed) {
    std::vector<int> fds;
    for (int i = 0; i < kDeskmgrMaxConnections; ++i)
        fds.push_back(connect_desk());
    ASSERT_EQ(kDeskmgrMaxConnections, deskmgr_connections());
    int extra = connect_desk();
    EXPECT_TRUE(
        pump_until([&] { return console().find("too many connections") != std::string::npos; }));
    EXPECT_TRUE(closed_by_agent(extra));
    EXPECT_EQ(kDeskmgrMaxConnections, deskmgr_connections());
    std::vector<uint8_t> st = request(3);
    EXPECT_EQ(response(st, 2), ask(fds.front(), st));
    EXPECT_EQ(response(st, 2), ask(fds.back(), st));
    // A freed place takes a new connection again.
    std::vector<uint8_t> bad = request(3, 2);
    EXPECT_TRUE(ask(fds.front(), bad).empty());
    EXPECT_TRUE(closed_by_agent(fds.front()));
    int again = connect_desk();
    EXPECT_EQ(response(st, 2), ask(again, st));
}

TEST_F(LanTest, OpeningFailuresSayWhy) {
    EXPECT_EQ(-1, deskmgr_open(3));
    EXPECT_NE(std::string::npos, console().find("Unknown socket type 3 \n"));
    EXPECT_EQ(-1, scantools_open(2));
    EXPECT_NE(std::string::npos, console().find("Unknown socket type 2 \n"));
    // A datagram socket (not used by the agent): a datagram on it is dropped, not spun on.
    setenv("RMAGENT_DESKMGR_PORT", "0", 1);
    int udp = deskmgr_open(1);
    ASSERT_GE(udp, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(bound_port(udp));
    ASSERT_EQ(1, sendto(client_, "x", 1, 0, reinterpret_cast<sockaddr *>(&a), sizeof a));
    ASSERT_TRUE(pump_until([&] {
        return !readable(udp, 0) && console().find("call deskmgr_handler") != std::string::npos;
    }));
    EXPECT_EQ(0, eventloop_step(0)) << "nothing left to handle";
    EXPECT_EQ(0, unregister_fd_desc(udp));
    close(udp);
    // The port is taken by a listener of our own.
    setenv("RMAGENT_DESKMGR_PORT", std::to_string(bound_port(desk_)).c_str(), 1);
    EXPECT_EQ(-1, deskmgr_open(2));
    EXPECT_NE(std::string::npos, console().find("bind() fail \n"));
}

// --- discovery -------------------------------------------------------------------------

std::vector<uint8_t> get_info(uint8_t signature = 0xBA) {
    std::vector<uint8_t> r(696, 0);
    r[0] = signature;
    r[1] = 1;
    return r;
}

class DiscoveryTest : public LanTest {
  protected:
    void SetUp() override {
        LanTest::SetUp();
        std::string dir = root_.host("/sys/class/net/br0");
        ASSERT_EQ(0, system(("mkdir -p " + dir).c_str()));
        testsupport::write_file(dir + "/address", "00:90:4c:0a:0b:0c\n");
        set_nvram("lan0_ifname", "br0");
        set_nvram("product_model", "CR-100");
        set_nvram("vzw_reconnect_interval", "45");
    }
    void with_address() {
        testsupport::write_file(root_.host("/sys/class/net/br0/ipv4"),
                                "192.168.1.1 192.168.1.255 255.255.255.0\n");
    }
    // The information reply as the service must send it, laid out by hand.
    static std::vector<uint8_t> info_reply(bool addressed) {
        std::vector<uint8_t> r(696, 0);
        r[0] = 0xBA;
        r[1] = 2;
        r[2] = 0x24;
        r[3] = 0xD7;
        memcpy(&r[4], "*****", 5);
        const uint8_t mac[] = {0x00, 0x90, 0x4C, 0x0A, 0x0B, 0x0C};
        memcpy(&r[36], mac, 6);
        if (addressed) {
            const uint8_t a[] = {192, 168, 1, 1}, m[] = {255, 255, 255, 0};
            memcpy(&r[44], a, 4);
            memcpy(&r[600], m, 4);
        }
        memcpy(&r[48], "CR-100", 6);
        const uint8_t fw[] = {172, 16, 0, 2};
        memcpy(&r[340], fw, 4);
        memcpy(&r[344], "firmware.bin", 12);
        r[611] = 1;
        r[695] = 45;
        return r;
    }
};

TEST_F(DiscoveryTest, InformationReplyByteForByte) {
    with_address();
    EXPECT_EQ(info_reply(true), exchange(get_info(), nullptr));
    EXPECT_EQ(info_reply(true), exchange(get_info(0xAB), nullptr)) << "the other signature";
}

TEST_F(DiscoveryTest, InformationReplyForAnInterfaceWithoutAnAddressKeepsItsFlags) {
    EXPECT_EQ(info_reply(false), exchange(get_info(), nullptr));
}

TEST_F(DiscoveryTest, MalformedDatagramsAreDroppedAndTheServiceStaysUp) {
    with_address();
    std::vector<uint8_t> short_one = get_info();
    short_one.resize(695);
    EXPECT_TRUE(exchange(short_one, "too short packet .. \n").empty());
    std::vector<uint8_t> foreign = get_info(0xBB);
    EXPECT_TRUE(exchange(foreign, "Unknown Packet\n").empty());
    EXPECT_TRUE(exchange({}, "read fail .... \n").empty());
    EXPECT_TRUE(exchange(truncated(get_info(), 1), "too short packet .. \n").empty());
    std::vector<uint8_t> unknown = get_info();
    unknown[1] = 7;
    EXPECT_TRUE(exchange(unknown, "unknown opcode 7").empty());
    // Opcodes with nothing to do: datagrams are taken in order, so the first answer after one
    // of them being the information reply shows it got none.
    for (uint8_t op : {2, 4, 0xFF}) {
        std::vector<uint8_t> r = get_info();
        r[1] = op;
        send_record(r);
        EXPECT_EQ(info_reply(true), exchange(get_info(), nullptr)) << "opcode " << int{op};
        EXPECT_FALSE(readable(client_, 0));
    }
}

// A set request: the community, LAN address, netmask and interval given; `flags` says which
// of them count.
std::vector<uint8_t> set_request(uint16_t flags, const char *addr, const char *mask,
                                 uint32_t interval, const char *community = "newsecret") {
    std::vector<uint8_t> r(696, 0);
    r[0] = 0xBA;
    r[1] = 3;
    put_be16(&r[2], flags);
    memcpy(&r[4], community, strlen(community));
    inet_pton(AF_INET, addr, &r[44]);
    inet_pton(AF_INET, mask, &r[600]);
    put_be32(&r[692], interval);
    return r;
}

class DiscoverySetTest : public DiscoveryTest {
  protected:
    void SetUp() override {
        DiscoveryTest::SetUp();
        with_address();
        mkdir(root_.host("/flash").c_str(), 0755);
        std::string bin = root_.host("/bin");
        testsupport::write_file(bin + "/nvram_mtd_read",
                                "#!/bin/sh\ncp \"$ROUTER_ROOT/flash/$2\" \"$ROUTER_ROOT$1\"\n");
        testsupport::write_file(bin + "/nvram_mtd_write",
                                "#!/bin/sh\ncp \"$ROUTER_ROOT$1\" \"$ROUTER_ROOT/flash/$2\"\n");
        chmod((bin + "/nvram_mtd_read").c_str(), 0755);
        chmod((bin + "/nvram_mtd_write").c_str(), 0755);
        testsupport::write_file(root_.host("/flash/backup"), backup_image("30"));
        set_nvram("lan0_ipaddr", "192.168.1.1");
        set_nvram("lan0_netmask", "255.255.255.0");
        set_nvram("vzw_reconnect_interval", "30");
    }
    static std::string backup_image(const std::string &interval) {
        std::string entries = std::string("SN=X1", 6) + "vzw_reconnect_interval=" + interval +
                              std::string("\0a=1", 5);
        std::string img("FLSH\0\0\0\0", 8);
        img[4] = static_cast<char>(20 + 40);
        img += std::string(12, '\x5a');
        img += entries + std::string(1, '\0');
        return img + std::string(64 - (img.size() - 20), '\0');
    }
};

TEST_F(DiscoverySetTest, SetGoesToTheBackupStoreAndNvramThenAnswersAndReboots) {
    // A child stands in for init: the reboot signal goes to it.
    pid_t init = fork();
    if (init == 0) {
        pause();
        _exit(0);
    }
    ASSERT_GT(init, 0);
    mkdir(root_.host("/var/run").c_str(), 0755);
    testsupport::write_file(root_.host("/var/run/init.pid"), std::to_string(init) + "\n");
    std::vector<uint8_t> req =
        set_request(0x0001 | 0x0004 | 0x0100 | 0x2000, "10.20.0.1", "255.255.0.0", 120);
    std::vector<uint8_t> want(696, 0);
    want[0] = 0xBA;
    want[1] = 4;
    EXPECT_EQ(want, exchange(req, nullptr));
    pump_until([&] { return env_.reboot_waits() > 0; });
    EXPECT_STREQ("newsecret", nvram_safe_get("snmp_ro_sec"));
    EXPECT_STREQ("newsecret", nvram_safe_get("snmp_rw_sec"));
    EXPECT_STREQ("10.20.0.1", nvram_safe_get("lan0_ipaddr"));
    EXPECT_STREQ("255.255.0.0", nvram_safe_get("lan0_netmask"));
    EXPECT_STREQ("120", nvram_safe_get("vzw_reconnect_interval"));
    std::string flash = testsupport::read_file(root_.host("/flash/backup"));
    EXPECT_EQ(backup_image("120"), flash) << "the entry grown in place, the header unchanged";
    // Committed, pppd hung up, init signalled.
    std::string committed = testsupport::read_file(root_.host("/flash/nvram"));
    EXPECT_NE(std::string::npos, committed.find(std::string("lan0_ipaddr=10.20.0.1\0", 22)));
    EXPECT_NE(std::string::npos, committed.find(std::string("vzw_reconnect_interval=120\0", 27)));
    EXPECT_NE(std::string::npos,
              testsupport::read_file(root_.host("/killall.log")).find("killall -1 pppd"));
    EXPECT_NE(std::string::npos, console().find("nvram_commit ok\n"));
    EXPECT_EQ(std::vector<int>{SIGTERM}, env_.signals());
    EXPECT_EQ(1, env_.reboot_waits());
    int status = testsupport::wait_child(init, 10000);
    if (status == -1) {
        kill(init, SIGKILL);
        waitpid(init, nullptr, 0);
    }
    EXPECT_TRUE(status != -1 && WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
}

TEST_F(DiscoverySetTest, SetThatWouldLeaveTheRouterUnreachableIsRefusedWhole) {
    struct Case {
        uint16_t flags;
        const char *addr, *mask;
    } cases[] = {
        {0x0004, "0.0.0.0", "0.0.0.0"},          {0x0004, "127.0.0.1", "0.0.0.0"},
        {0x0004, "224.0.0.9", "0.0.0.0"},        {0x0004, "255.255.255.255", "0.0.0.0"},
        {0x0004, "192.168.1.0", "0.0.0.0"},       // network address under the current mask
        {0x0004, "192.168.1.255", "0.0.0.0"},     // broadcast under the current mask
        {0x0104, "10.1.0.255", "255.255.255.0"},  // broadcast under the new mask
        {0x2104, "10.1.0.1", "255.255.255.254"}, {0x0100, "0.0.0.0", "255.0.255.0"},
        {0x0100, "0.0.0.0", "255.255.255.255"},  {0x0100, "0.0.0.0", "0.0.0.0"},
        {0x0001, "0.0.0.0", "0.0.0.0"},  // not refused: a contrast row, below
    };
    for (const Case &c : cases) {
        if (c.flags == 0x0001) break;
        SCOPED_TRACE(std::string(c.addr) + "/" + c.mask);
        console_testing_forget();  // every refusal's line is looked for, not rate-limited
        size_t before = console().size();
        std::vector<uint8_t> req = set_request(c.flags | 0x2001, c.addr, c.mask, 999);
        EXPECT_TRUE(exchange(req, "set refused").empty());
        EXPECT_NE(std::string::npos, console().find("set refused", before));
    }
    EXPECT_STREQ("192.168.1.1", nvram_safe_get("lan0_ipaddr"));
    EXPECT_STREQ("255.255.255.0", nvram_safe_get("lan0_netmask"));
    EXPECT_STREQ("30", nvram_safe_get("vzw_reconnect_interval"));
    EXPECT_STREQ("", nvram_safe_get("snmp_ro_sec"));
    EXPECT_EQ(backup_image("30"), testsupport::read_file(root_.host("/flash/backup")));
    EXPECT_TRUE(env_.commands().empty()) << "no backup copy, no killall";
    EXPECT_TRUE(env_.signals().empty());
    EXPECT_EQ(0, env_.reboot_waits());
}

TEST(ScantoolsSetRule, NetmaskAloneIsCheckedAgainstTheCurrentAddress) {
    discovery_record r{};
    r.flags = 0x0100;
    inet_pton(AF_INET, "255.255.255.252", &r.netmask);
    uint32_t cur;
    inet_pton(AF_INET, "192.168.1.3", &cur);
    EXPECT_NE(nullptr, scantools_set_refusal(r, cur, 0)) << ".3 is a /30's broadcast";
    inet_pton(AF_INET, "192.168.1.1", &cur);
    EXPECT_EQ(nullptr, scantools_set_refusal(r, cur, 0));
    EXPECT_EQ(nullptr, scantools_set_refusal(r, 0, 0)) << "no current address known";
    r.flags = 0x2001;
    EXPECT_EQ(nullptr, scantools_set_refusal(r, 0, 0)) << "no address or netmask in the set";
}

}  // namespace
