#include "platform/ifquery.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/support/testsupport.h"

namespace {

using testsupport::write_file;

TEST(IfQuery, UnderARouterRootFiguresComeFromItsFiles) {
    testsupport::TempRouterRoot root;
    std::string dir = root.host("/sys/class/net/br0");
    for (const char *d : {"/sys", "/sys/class", "/sys/class/net", "/sys/class/net/br0"})
        mkdir(root.host(d).c_str(), 0755);
    write_file(dir + "/flags", "0x1043\n");
    write_file(dir + "/address", "00:90:4c:0a:0b:ff\n");
    write_file(dir + "/type", "1\n");
    write_file(dir + "/mtu", "1500\n");
    write_file(dir + "/ipv4", "192.168.1.1 192.168.1.255 255.255.255.0\n");
    if_facts f;
    EXPECT_EQ(7, if_query(-1, "br0", &f));  // no metric file
    EXPECT_EQ(0x1043u, f.flags);
    EXPECT_EQ(1, f.hwtype);
    EXPECT_EQ(1500, f.mtu);
    EXPECT_EQ(0, f.metric);
    const uint8_t mac[6] = {0x00, 0x90, 0x4c, 0x0a, 0x0b, 0xff};
    EXPECT_EQ(0, memcmp(mac, f.hwaddr, 6));
    EXPECT_EQ(inet_addr("192.168.1.1"), f.addr);
    EXPECT_EQ(inet_addr("192.168.1.255"), f.broadaddr);
    EXPECT_EQ(inet_addr("255.255.255.0"), f.netmask);
}

TEST(IfQuery, UnknownInterfaceLeavesEveryFigureZero) {
    testsupport::TempRouterRoot root;
    if_facts f;
    f.mtu = 7;
    EXPECT_EQ(0, if_query(-1, "eth0", &f));  // the host's own eth0 is never asked
    EXPECT_EQ(0, f.mtu);
    EXPECT_EQ(0u, f.flags);
    EXPECT_EQ(-1, f.hwtype);
    EXPECT_EQ(0, if_query(-1, "../../etc", &f));
}

}  // namespace
