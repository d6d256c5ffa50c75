// The status collectors: "/proc/net/dev", interface state, memory figures, DHCP leases and
// wireless stations.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "common/bytes.h"
#include "platform/nvram.h"
#include "rmagent/agent_fixture.h"
#include "rmagent/netif.h"
#include "rmagent/status.h"
#include "rmagent/variables.h"

namespace {

const char kHeadCompressed[] =
    "Inter-|   Receive                            |  Transmit\n"
    " face |bytes    packets errs drop fifo frame compressed multicast|bytes    packets errs "
    "drop fifo colls carrier compressed\n";
const char kHeadOld[] =
    "Inter-|   Receive                  |  Transmit\n"
    " face |packets errs drop fifo frame|packets errs drop fifo colls carrier\n";

TEST(NetifParse, CountersFollowTheHeading) {
    netif n;
    ASSERT_TRUE(netif_parse_line("  eth0: 5000 40 1 0 0 0 0 0 6000 50 2 0 0 3 0 0", true, &n));
    EXPECT_STREQ("eth", n.base);
    EXPECT_STREQ("0", n.suffix);
    EXPECT_EQ(5000u, n.rx_bytes);
    EXPECT_EQ(40u, n.rx_packets);
    EXPECT_EQ(1u, n.rx_errors);
    EXPECT_EQ(6000u, n.tx_bytes);
    EXPECT_EQ(50u, n.tx_packets);
    EXPECT_EQ(2u, n.tx_errors);
    EXPECT_EQ(3u, n.collisions);
    ASSERT_TRUE(netif_parse_line("ppp0:10 1 0 0 0 20 2 0 0 4 0", false, &n));
    EXPECT_STREQ("ppp", n.base);
    EXPECT_EQ(3080u, n.rx_bytes);  // 308 times the packets
    EXPECT_EQ(6160u, n.tx_bytes);
    EXPECT_EQ(4u, n.collisions);
}

TEST(NetifParse, LoopbackWithoutSentCountersTakesTheReceivedOnes) {
    netif n;
    ASSERT_TRUE(netif_parse_line("lo: 700 7 0 0 0 0 0 0 0 0 0 0 0 0 0 0", true, &n));
    EXPECT_EQ(7u, n.tx_packets);
    EXPECT_EQ(700u, n.tx_bytes);
}

TEST(NetifParse, LinesWithoutColonOrCountersAreSkipped) {
    netif n;
    EXPECT_FALSE(netif_parse_line("eth0 5000 40", true, &n));
    EXPECT_FALSE(netif_parse_line("eth0: 5000 x", true, &n));
    EXPECT_FALSE(netif_parse_line("averyveryverylongname0: 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16",
                                  true, &n));
}

class StatusTest : public AgentTest {
  protected:
    void SetUp() override {
        AgentTest::SetUp();
        mkdir(root_.host("/proc/net").c_str(), 0755);
    }
    std::string info(const char *name) {
        for (const variable_row *r = information_variables; r->name; ++r) {
            if (strcmp(r->name, name)) continue;
            char *v = r->getter(0, r);
            std::string out = v ? v : "(null)";
            free(v);
            return out;
        }
        return "(no row)";
    }
    void iface(const char *name, const char *flags) {
        std::string dir = root_.host("/sys/class/net/") + name;
        for (std::string d : {"/sys", "/sys/class", "/sys/class/net"})
            mkdir(root_.host(d).c_str(), 0755);
        mkdir(dir.c_str(), 0755);
        testsupport::write_file(dir + "/flags", flags);
    }
};

TEST_F(StatusTest, InterfaceStateAndCountsComeFromProcNetDevAndTheInterface) {
    testsupport::write_file(root_.host("/proc/net/dev"), std::string(kHeadOld) +
                                                             "  br0:10 0 0 0 0 20 0 0 0 0 0\n"
                                                             " ppp0:30 0 0 0 0 40 0 0 0 0 0\n");
    set_nvram("lan_ifname", "br0");
    set_nvram("wan0_ifname", "ppp0");
    iface("br0", "0x1043");
    EXPECT_EQ("1", info("lan_status"));
    EXPECT_EQ("10", info("lan_inpkts"));
    EXPECT_EQ("20", info("lan_outpkts"));
    EXPECT_EQ("30", info("wan_inpkts"));
    EXPECT_EQ("40", info("wan_outpkts"));
    iface("br0", "0x1002");  // down
    EXPECT_EQ("0", info("lan_status"));
    set_nvram("lan_ifname", "br9");  // not in the list
    EXPECT_EQ("", info("lan_status"));
    EXPECT_EQ("0", info("lan_inpkts"));
}

TEST_F(StatusTest, MemoryFiguresFromMeminfo) {
    EXPECT_EQ("", info("mem_usage"));
    EXPECT_EQ("", info("mem_total"));
    testsupport::write_file(root_.host("/proc/meminfo"),
                            "MemTotal: 16000 kB\nMemFree: 3000 kB\nBuffers: 100 kB\n"
                            "Cached: 1000 kB\n");
    EXPECT_EQ("75", info("mem_usage"));  // 100 - (3000 + 1000) * 100 / 16000
    EXPECT_EQ("16384000", info("mem_total"));
}

std::string lease(const uint8_t mac[6], const char *ip, uint32_t remaining, const char *host) {
    std::string rec(kLeaseRecordLen, '\0');
    memcpy(rec.data(), mac, 6);
    in_addr a;
    inet_pton(AF_INET, ip, &a);
    memcpy(rec.data() + 16, &a, 4);
    put_be32(reinterpret_cast<uint8_t *>(rec.data()) + 20, remaining);
    memcpy(rec.data() + 24, host, strlen(host));
    return rec;
}

TEST_F(StatusTest, LeaseListSkipsZeroAddressesAndNamesTheNamelessUnknown) {
    open_session();
    server_.got.clear();
    const uint8_t a[6] = {0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e}, zero[6] = {},
                  b[6] = {0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff};
    testsupport::write_file(root_.host("/tmp/udhcpd.leases"),
                            lease(a, "192.168.1.10", 600, "laptop") +
                                lease(zero, "192.168.1.11", 5, "ghost") +
                                lease(b, "192.168.1.12", 60, ""));
    ASSERT_EQ(0, do_send_dhcp_status(s_, 4));
    std::vector<Datagram> sent = server_.with_oid(4);
    ASSERT_EQ(2u, sent.size());
    EXPECT_EQ((std::vector<std::string>{"lan_lease0=192.168.1.10,00:1a:2B:3C:4D:5E,laptop,1600",
                                        "lan_lease1=192.168.1.12,AA:bb:CC:DD:EE:FF,unknown,1060"}),
              sent[0].entries());
    EXPECT_EQ(std::vector<std::string>{"lan_lease_maxunit=2"}, sent[1].entries());
    EXPECT_NE(std::string::npos,
              testsupport::read_file(root_.host("/killall.log")).find("killall -16 udhcpd"));
}

std::vector<std::vector<uint8_t>> g_stations;
int g_rssi_calls;

int fake_wl_ioctl(const char *ifname, int cmd, void *buf, int len) {
    if (strcmp(ifname, "eth2")) return -1;
    uint8_t *b = static_cast<uint8_t *>(buf);
    if (cmd == 262 && len == 1540 && !strcmp(reinterpret_cast<char *>(b), "authe_sta_list")) {
        put_host32(b, static_cast<uint32_t>(g_stations.size()));
        for (size_t i = 0; i < g_stations.size(); ++i)
            memcpy(b + 4 + 6 * i, g_stations[i].data(), 6);
        return 0;
    }
    if (cmd == 127 && len == 12) {
        ++g_rssi_calls;
        put_host32(b, static_cast<uint32_t>(-40 - b[9]));
        return 0;
    }
    return -1;
}

TEST_F(StatusTest, StationListUsesTheWl0PrefixWhateverTheUnit) {
    open_session();
    server_.got.clear();
    set_nvram("wl_unit", "1");
    set_nvram("wl1_ifname", "eth2");
    g_stations = {{0x00, 0x11, 0x22, 0x33, 0x44, 0x01}, {0x00, 0x11, 0x22, 0x33, 0x44, 0x02}};
    rcm_wl_ioctl = fake_wl_ioctl;
    ASSERT_EQ(0, do_send_wl_stalist(s_, 4));
    std::vector<Datagram> sent = server_.with_oid(4);
    ASSERT_EQ(2u, sent.size());
    EXPECT_EQ((std::vector<std::string>{"wl0_sta0=00:11:22:33:44:01,-41",
                                        "wl0_sta1=00:11:22:33:44:02,-42"}),
              sent[0].entries());
    EXPECT_EQ(std::vector<std::string>{"wl0_sta_maxunit=2"}, sent[1].entries());
}

TEST_F(StatusTest, RadioThatCannotBeAskedReportsNoStationsAndRegistrationCompletes) {
    set_nvram("wl0_ifname", "eth1");  // no driver under the router root
    open_session();
    std::vector<Datagram> status = server_.with_oid(4);
    ASSERT_FALSE(status.empty());
    EXPECT_EQ(std::vector<std::string>{"wl0_sta_maxunit=0"}, status.back().entries());
    EXPECT_NE(std::string::npos, trace().find("wl_ioctl authe_sta_list on \"eth1\" fail"));
    EXPECT_NE(nullptr, rcm_keepalive.next);
}

}  // namespace
