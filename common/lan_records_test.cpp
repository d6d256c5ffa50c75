// The LAN records: field offsets byte by byte, what decoding refuses, and the address rules
// of a set.
#include "common/lan_records.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

uint32_t ip(const char *dotted) {
    in_addr a{};
    inet_pton(AF_INET, dotted, &a);
    return a.s_addr;
}

TEST(DeskmgrHeader, ResponseEchoesTheRequestWithTypeTwoLengthSixteenAndTheResult) {
    const uint8_t req[] = {0xDE, 0xAD, 0xBE, 0xEF, 0x00, 0x03, 0x77, 0x01, 0x00, 0x00, 0x00, 0x0C};
    deskmgr_header h;
    ASSERT_TRUE(deskmgr_header_decode(req, sizeof req, &h));
    EXPECT_EQ(0xDEADBEEFu, h.tag);
    EXPECT_EQ(3, h.command);
    EXPECT_EQ(0x77, h.spare);
    EXPECT_EQ(1, h.type);
    EXPECT_EQ(12u, h.length);
    uint8_t out[16];
    deskmgr_response_encode(h, 0x01020304, out);
    const uint8_t want[] = {0xDE, 0xAD, 0xBE, 0xEF, 0x00, 0x03, 0x77, 0x02,
                            0x00, 0x00, 0x00, 0x10, 0x01, 0x02, 0x03, 0x04};
    EXPECT_EQ(0, memcmp(want, out, 16));
    EXPECT_FALSE(deskmgr_header_decode(req, 11, &h));
}

TEST(DiscoveryRecord, EveryFieldLandsAtItsOffset) {
    discovery_record r{};
    r.signature = 0xBA;
    r.opcode = 2;
    r.flags = 0x24D7;
    strcpy(r.community, "*****");
    const uint8_t mac[6] = {0x00, 0x90, 0x4C, 0x01, 0x02, 0x03};
    memcpy(r.hwaddr, mac, 6);
    r.lan_addr = ip("192.168.1.1");
    strcpy(r.model, "CR-100");
    r.fw_server = ip("172.16.0.2");
    strcpy(r.fw_file, "firmware.bin");
    r.netmask = ip("255.255.255.0");
    r.one = 1;
    r.reconnect = 0x0A0B0C0D;
    std::vector<uint8_t> b(kDiscoveryRecordSize);
    discovery_encode(r, b.data());
    std::vector<uint8_t> want(kDiscoveryRecordSize, 0);
    want[0] = 0xBA;
    want[1] = 2;
    want[2] = 0x24;
    want[3] = 0xD7;
    memcpy(&want[4], "*****", 5);
    memcpy(&want[36], mac, 6);
    const uint8_t lan[] = {192, 168, 1, 1}, fws[] = {172, 16, 0, 2}, nm[] = {255, 255, 255, 0};
    memcpy(&want[44], lan, 4);
    memcpy(&want[48], "CR-100", 6);
    memcpy(&want[340], fws, 4);
    memcpy(&want[344], "firmware.bin", 12);
    memcpy(&want[600], nm, 4);
    want[611] = 1;
    want[692] = 0x0A;
    want[693] = 0x0B;
    want[694] = 0x0C;
    want[695] = 0x0D;
    EXPECT_EQ(want, b);

    discovery_record back;
    ASSERT_EQ(kDiscoveryOk, discovery_decode(b.data(), b.size(), &back));
    EXPECT_EQ(0x24D7, back.flags);
    EXPECT_STREQ("CR-100", back.model);
    EXPECT_EQ(r.netmask, back.netmask);
    EXPECT_EQ(0x0A0B0C0Du, back.reconnect);
    EXPECT_EQ(0, memcmp(mac, back.hwaddr, 6));
}

TEST(DiscoveryRecord, TextsFillingTheirFieldsStayBoundedBothWays) {
    discovery_record r{};
    r.signature = 0xAB;
    memset(r.community, 'c', 32);  // all 32 bytes, no NUL on the wire
    memset(r.model, 'm', sizeof r.model - 1);
    std::vector<uint8_t> b(kDiscoveryRecordSize);
    discovery_encode(r, b.data());
    EXPECT_EQ('c', b[35]);
    EXPECT_EQ(0, b[36]);
    EXPECT_EQ(0, b[339]) << "the model keeps its NUL";
    // A model without any NUL on the wire comes back cut, not run into the next field.
    memset(&b[48], 'x', kDiscoveryModelSize);
    discovery_record back;
    ASSERT_EQ(kDiscoveryOk, discovery_decode(b.data(), b.size(), &back));
    EXPECT_EQ(32u, strlen(back.community));
    EXPECT_EQ(kDiscoveryModelSize - 1, strlen(back.model));
}

TEST(DiscoveryRecord, ShortOrForeignDatagramsAreRefused) {
    std::vector<uint8_t> b(kDiscoveryRecordSize, 0);
    discovery_record r;
    b[0] = 0xBA;
    EXPECT_EQ(kDiscoveryTooShort, discovery_decode(b.data(), 695, &r));
    EXPECT_EQ(kDiscoveryTooShort, discovery_decode(b.data(), 0, &r));
    b[0] = 0xBB;
    EXPECT_EQ(kDiscoveryBadSignature, discovery_decode(b.data(), b.size(), &r));
    b[0] = 0xAB;
    EXPECT_EQ(kDiscoveryOk, discovery_decode(b.data(), b.size(), &r));
}

TEST(LanAddressRules, NetmasksFromSlashEightToSlashThirtyOnly) {
    EXPECT_TRUE(lan_netmask_valid(ip("255.0.0.0")));
    EXPECT_TRUE(lan_netmask_valid(ip("255.255.255.0")));
    EXPECT_TRUE(lan_netmask_valid(ip("255.255.255.252")));
    EXPECT_FALSE(lan_netmask_valid(ip("255.255.255.254")));
    EXPECT_FALSE(lan_netmask_valid(ip("255.255.255.255")));
    EXPECT_FALSE(lan_netmask_valid(ip("254.0.0.0")));
    EXPECT_FALSE(lan_netmask_valid(ip("0.0.0.0")));
    EXPECT_FALSE(lan_netmask_valid(ip("255.255.0.255")));
    EXPECT_FALSE(lan_netmask_valid(ip("255.0.255.0")));
}

TEST(LanAddressRules, AddressesNoLanHostCanHave) {
    uint32_t c = ip("255.255.255.0");
    EXPECT_TRUE(lan_host_addr_valid(ip("192.168.1.1"), c));
    EXPECT_TRUE(lan_host_addr_valid(ip("223.255.255.1"), c));
    EXPECT_FALSE(lan_host_addr_valid(ip("0.0.0.0"), 0));
    EXPECT_FALSE(lan_host_addr_valid(ip("127.0.0.1"), 0));
    EXPECT_FALSE(lan_host_addr_valid(ip("127.200.1.1"), c));
    EXPECT_FALSE(lan_host_addr_valid(ip("224.0.0.1"), 0));
    EXPECT_FALSE(lan_host_addr_valid(ip("255.255.255.255"), 0));
    EXPECT_FALSE(lan_host_addr_valid(ip("192.168.1.0"), c));
    EXPECT_FALSE(lan_host_addr_valid(ip("192.168.1.255"), c));
    EXPECT_TRUE(lan_host_addr_valid(ip("192.168.1.255"), ip("255.255.0.0")));
    EXPECT_FALSE(lan_host_addr_valid(ip("10.0.0.3"), ip("255.255.255.252")));
    EXPECT_TRUE(lan_host_addr_valid(ip("10.0.0.2"), ip("255.255.255.252")));
}

}  // namespace
