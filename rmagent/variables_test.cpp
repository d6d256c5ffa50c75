// The variable accessors and the name/value table of a configuration request.
#include "rmagent/variables.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/nvram.h"
#include "platform/nvram_testing.h"
#include "rmagent/cgi.h"
#include "tests/support/testsupport.h"

namespace {

const variable_row *row(const char *name) {
    for (const variable_row *r = config_variables; r->name; ++r)
        if (!strcmp(r->name, name)) return r;
    return nullptr;
}

class Variables : public ::testing::Test {
  protected:
    void SetUp() override { nvram_testing_forget(); }
    void TearDown() override {
        EXPECT_EQ(0, init_cgi(nullptr, 0));
        nvram_testing_forget();
    }
    // Applies name=value through the row's setter for `unit`.
    void set(const char *name, const char *value, int unit = 0) {
        const variable_row *r = row(name);
        ASSERT_NE(nullptr, r) << name;
        ASSERT_NE(nullptr, r->setter) << name;
        r->setter(unit, value, r);
    }
    std::string get(const char *name, int unit = 0) {
        const variable_row *r = row(name);
        char *v = r->getter(unit, r);
        std::string out = v ? v : "(null)";
        free(v);
        return out;
    }
    testsupport::TempRouterRoot root_;
};

TEST(VariableTables, ConfigHas76RowsAndInformation13InTableOrder) {
    int n = 0;
    for (const variable_row *r = config_variables; r->name; ++r)
        ++n;
    EXPECT_EQ(76, n);
    n = 0;
    for (const variable_row *r = information_variables; r->name; ++r, ++n)
        EXPECT_EQ(nullptr, r->setter) << r->name;
    EXPECT_EQ(13, n);
    EXPECT_STREQ("console", config_variables[0].name);
    EXPECT_STREQ("lan_dhcp_rule7", config_variables[16].name);
    EXPECT_STREQ("et0macaddr", config_variables[75].name);
    EXPECT_EQ(nullptr, config_variables[75].setter);
}

TEST_F(Variables, KeysFollowTheUnitKind) {
    set("wl_ssid", "abc", 1);
    set("wan_mode", "auto", 0);
    set("lan_dhcp_rule5", "r5");
    EXPECT_STREQ("abc", nvram_safe_get("wl1_ssid"));
    EXPECT_STREQ("auto", nvram_safe_get("wan0_mode"));
    EXPECT_STREQ("r5", nvram_safe_get("lan_dhcp5_rule"));
    EXPECT_EQ("abc", get("wl_ssid", 1));
    EXPECT_EQ("r5", get("lan_dhcp_rule5"));
    EXPECT_EQ("", get("hostname"));
}

TEST_F(Variables, AuthModeThreeWritesFourKeysAndOtherValuesOnlyTheFirst) {
    set("wl_auth_mode", "3");
    EXPECT_STREQ("3", nvram_safe_get("wl0_net_auth_mode"));
    EXPECT_STREQ("0", nvram_safe_get("wl0_auth"));
    EXPECT_STREQ("none", nvram_safe_get("wl0_auth_mode"));
    EXPECT_STREQ("psk", nvram_safe_get("wl0_akm"));
    set("wl_auth_mode", "2");
    EXPECT_STREQ("1", nvram_safe_get("wl0_auth"));
    EXPECT_STREQ("", nvram_safe_get("wl0_akm"));
    set("wl_auth_mode", "7");
    EXPECT_STREQ("7", nvram_safe_get("wl0_net_auth_mode"));
    EXPECT_STREQ("1", nvram_safe_get("wl0_auth"));
    EXPECT_EQ("7", get("wl_auth_mode"));
}

TEST_F(Variables, WepAndMacModeTranslateBothWays) {
    struct Case {
        const char *wire, *stored;
    } wep[] = {{"1", "enabled"}, {"0", "disabled"}},
      mac[] = {{"0", "disabled"}, {"1", "deny"}, {"2", "allow"}};
    for (const Case &c : wep) {
        set("wl_wep", c.wire);
        EXPECT_STREQ(c.stored, nvram_safe_get("wl0_wep"));
        EXPECT_EQ(c.wire, get("wl_wep"));
    }
    for (const Case &c : mac) {
        set("wl_macmode", c.wire);
        EXPECT_STREQ(c.stored, nvram_safe_get("wl0_macmode"));
        EXPECT_EQ(c.wire, get("wl_macmode"));
    }
    EXPECT_EQ(0, nvram_set("wl0_macmode", "odd"));
    EXPECT_EQ("0", get("wl_macmode"));
    EXPECT_EQ(0, nvram_set("wl0_wep", "odd"));
    EXPECT_EQ("0", get("wl_wep"));
}

TEST_F(Variables, MacRuleRebuildsTheListFromAllEightRulesCutTo17) {
    EXPECT_EQ(0, nvram_set("wl0_macrule0", "00:11:22:33:44:55"));
    EXPECT_EQ(0, nvram_set("wl0_macrule6", "aa:bb:cc:dd:ee:ff"));
    set("wl_macrule1", "66:77:88:99:AA:BBtoolong");
    EXPECT_STREQ("66:77:88:99:AA:BBtoolong", nvram_safe_get("wl0_macrule1"));
    EXPECT_STREQ("00:11:22:33:44:55 66:77:88:99:AA:BB aa:bb:cc:dd:ee:ff",
                 nvram_safe_get("wl0_maclist"));
    set("wl_macrule0", "");
    EXPECT_STREQ("66:77:88:99:AA:BB aa:bb:cc:dd:ee:ff", nvram_safe_get("wl0_maclist"));
}

TEST_F(Variables, FirewallRulesRoundTripWithTheStatusCodeInverted) {
    set("firewall_access_rule2", "br0,10.0.0.1,ppp0,0.0.0.0,tcp,80,81,0,drop,web,1");
    EXPECT_STREQ("2", nvram_safe_get("firewall_access2_status"));
    EXPECT_STREQ("web", nvram_safe_get("firewall_access2_desc"));
    EXPECT_STREQ("81", nvram_safe_get("firewall_access2_endport"));
    EXPECT_EQ("br0,10.0.0.1,ppp0,0.0.0.0,tcp,80,81,0,drop,web,0", get("firewall_access_rule2"));
    set("firewall_access_rule2", "br0,10.0.0.1,ppp0,0.0.0.0,tcp,80,81,0,drop,web,0");
    EXPECT_STREQ("1", nvram_safe_get("firewall_access2_status"));
    EXPECT_EQ("br0,10.0.0.1,ppp0,0.0.0.0,tcp,80,81,0,drop,web,1", get("firewall_access_rule2"));

    set("firewall_portforwarding_rule7", "ppp0,udp,500,192.168.1.9,500,0,vpn,1");
    EXPECT_STREQ("2", nvram_safe_get("firewall_portforwarding7_status"));
    EXPECT_EQ("ppp0,udp,500,192.168.1.9,500,0,vpn,0", get("firewall_portforwarding_rule7"));
}

TEST_F(Variables, FirewallRuleWithTheWrongFieldCountChangesNothingAndEmptyDisables) {
    set("firewall_access_rule1", "a,b,c,d,e,f,g,h,i,j,1");
    set("firewall_access_rule1", "x,y,1");
    EXPECT_STREQ("a", nvram_safe_get("firewall_access1_indev"));
    set("firewall_portforwarding_rule0", "a,b,c,d,e,f,g,h,i");
    EXPECT_EQ(nullptr, nvram_get("firewall_portforwarding0_status"));
    set("firewall_access_rule1", "");
    EXPECT_STREQ("0", nvram_safe_get("firewall_access1_status"));
    EXPECT_EQ("", get("firewall_access_rule1"));
    EXPECT_EQ("", get("firewall_access_rule4"));  // never set
}

TEST_F(Variables, CgiTableSkipsNulRunsAndStringsWithoutEquals) {
    char text[] = "\0\0a=1\0\0junk\0b=x=y\0a=2\0";
    ASSERT_EQ(0, init_cgi(text, sizeof text - 1));
    EXPECT_EQ(2, count_cgi());
    EXPECT_STREQ("2", get_cgi("a"));
    EXPECT_STREQ("x=y", get_cgi("b"));
    EXPECT_EQ(nullptr, get_cgi("junk"));
    EXPECT_GE(text + sizeof text, get_cgi("a"));  // values point into the text
    EXPECT_LE(text, get_cgi("a"));
    // Room for as many names as strings were counted (four), one slot always free.
    EXPECT_EQ(0, set_cgi("c", "v"));
    EXPECT_EQ(0, set_cgi("d", "v"));
    EXPECT_EQ(-1, set_cgi("e", "v"));
    EXPECT_EQ(4, count_cgi());
    EXPECT_EQ(0, set_cgi("a", "3"));
    EXPECT_STREQ("3", get_cgi("a"));
    EXPECT_EQ(0, init_cgi(nullptr, 0));
    EXPECT_EQ(nullptr, get_cgi("a"));
    EXPECT_EQ(0, count_cgi());
}

TEST_F(Variables, CgiTextWithoutAFinalNulIsEndedAtItsLength) {
    char text[] = "hostname=abcXYZ";
    ASSERT_EQ(0, init_cgi(text, 12));
    EXPECT_STREQ("abc", get_cgi("hostname"));
}

TEST_F(Variables, UpgradeAppliesNamedRowsWithSettersInTableOrder) {
    char text[] = "wl_macrule1=11:22:33:44:55:66\0wl_macrule0=aa:aa:aa:aa:aa:aa\0et0macaddr=1";
    ASSERT_EQ(0, init_cgi(text, sizeof text - 1));
    do_upgrade_cgi(0);
    // rule0 comes first in the table, so the list is complete after rule1.
    EXPECT_STREQ("aa:aa:aa:aa:aa:aa 11:22:33:44:55:66", nvram_safe_get("wl0_maclist"));
    EXPECT_EQ(nullptr, nvram_get("et0macaddr"));
}

}  // namespace
