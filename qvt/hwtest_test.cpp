// The hardware tests on a good and a bad simulated board, and the burn-in.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include <string>

#include "platform/nvram.h"
#include "platform/pccard.h"
#include "qvt/qvt.h"
#include "qvt/qvt_fixture.h"

namespace {

using Leds = QvtStation;

TEST_F(Leds, P8LightsOneLedAndTurnsTheOthersOff) {
    board("ZK2300");
    EXPECT_EQ(0, qvt({"P8", "WWAN", "G"}));
    EXPECT_EQ("off 0\noff 1\non 2\noff 3\n", gpio());
    testsupport::write_file(root_.host("/dev/gpio/bits"), "");
    EXPECT_EQ(0, qvt({"P8", "POWER", "A", "P8", "WWAN", "R"}));
    EXPECT_EQ("on 0\noff 1\noff 2\noff 3\noff 0\noff 1\noff 2\non 3\n", gpio());
}

TEST_F(Leds, NoGpioDriver) {
    board("ZK2300", "no-gpio");
    clear_console();
    EXPECT_EQ(0, qvt({"P8", "WWAN", "G", "D4"}));
    EXPECT_EQ(0u, console().find("LED tset failure="));  // no newline before the next line
    struct stat st;
    EXPECT_NE(0, stat(root_.host("/dev/gpio/bits").c_str(), &st));  // never created
}

TEST_F(Leds, LedTestStepsTwoSecondsApartAndLeavesRedLit) {
    board("ZK2300");
    clear_console();
    unsigned long t0 = env_.now_ms();
    test_LEDS();
    EXPECT_EQ(6000u, env_.now_ms() - t0);
    EXPECT_EQ(
        "Test POWER amber LED  \nTest WLAN amber LED  \nTest WAN green LED  \n"
        "Test WAN red LED  \n\n",
        console());
    std::string g = gpio();
    EXPECT_EQ("off 0\noff 1\noff 2\non 3\n", g.substr(g.size() - 23));
    setenv("QVT_SECOND_MS", "3", 1);
    t0 = env_.now_ms();
    test_LEDS();
    unsetenv("QVT_SECOND_MS");
    EXPECT_EQ(18u, env_.now_ms() - t0);
}

using CardTest = QvtStation;

TEST_F(CardTest, CardBusCardWithKnownId) {
    board("ZK2300");
    clear_console();
    EXPECT_EQ(0, qvt({"P5"}));
    EXPECT_EQ(
        "  3.3V CardBus card\n"
        "  function 0: [ready]\n"
        "  product info: \"Motorola\", \"WN825G\", \"802.11g Wireless Adapter\"\n"
        "  manfid: 0x02d0, 0x0008\n"
        "  function: 6 (network)\n"
        "  PCI id: 0x14e4, 0x4320  (Motorola Wireless notebook Adapter WN825G)\n"
        "**************  \n\n",
        console());
    // The control node was made in the first directory that exists, and removed.
    DIR *d = opendir(root_.host("/var/run").c_str());
    ASSERT_NE(nullptr, d);
    int left = 0;
    while (dirent *e = readdir(d))
        left += std::string(e->d_name).rfind("cc-", 0) == 0;
    closedir(d);
    EXPECT_EQ(0, left);
}

TEST_F(CardTest, SixteenBitCardWithoutProductInfo) {
    board("ZK2300", "pc16");
    clear_console();
    EXPECT_EQ(0, qvt({"P5"}));
    EXPECT_EQ(
        "  5V 16-bit PC Card\n"
        "  function 0: [busy], [wp]\n"
        "  no product info available\n"
        "  manfid: 0x0101, 0x0562\n"
        "  function: 2 (serial)\n"
        "**************  \n\n",
        console());
}

TEST_F(CardTest, StatusWords) {
    struct Row {
        unsigned state;
        const char *out;
    };
    const Row rows[] = {
        {0x300000, "  3.3V CardBus card\n"},
        {0x502080, "  X.XV CardBus card [suspended]\n"},
        {0x0000c0, "  5V 16-bit PC Card\n  function 0: [ready]\n"},
        {0x0800b1,
         "  5V 16-bit PC Card\n  function 0: [busy], [wp], [bat dead], [bat low], [req attn]\n"},
        {0x002080, "  5V 16-bit PC Card [suspended]\n"},
        {0x000000, "  no card\n"},
        {0x200000, "  no card\n"},
    };
    for (const Row &r : rows) {
        clear_console();
        print_status(r.state);
        EXPECT_EQ(r.out, console()) << std::hex << r.state;
    }
}

TEST_F(CardTest, Vers1RepliesAreBounded) {
    cs_vers1 reply{};
    const char *s[kCsMaxProdStrings];
    memcpy(reply.str, "a\0b\0c\0d\0e", 10);
    reply.ns = 9;  // more than four: only four are taken
    reply.ofs[0] = 0, reply.ofs[1] = 2, reply.ofs[2] = 4, reply.ofs[3] = 6;
    ASSERT_EQ(4, pccard_vers1_strings(&reply, s));
    EXPECT_STREQ("d", s[3]);
    reply.ofs[2] = 254;  // outside the string area
    EXPECT_EQ(-1, pccard_vers1_strings(&reply, s));
    memset(reply.str, 'x', sizeof reply.str);  // no NUL in the area after the offset
    reply.ns = 1;
    reply.ofs[0] = 200;
    EXPECT_EQ(-1, pccard_vers1_strings(&reply, s));
    reply.str[253] = '\0';
    ASSERT_EQ(1, pccard_vers1_strings(&reply, s));
    EXPECT_EQ(53u, strlen(s[0]));
}

TEST_F(CardTest, BadBoards) {
    struct Row {
        const char *faults;
        const char *console, *err;
    };
    const Row rows[] = {
        {"no-card", "no card\n**************  \n\n", ""},
        {"no-driver", "**************  \n\n", "no pcmcia driver in /proc/devices\n"},
    };
    for (const Row &r : rows) {
        board("ZK2300", r.faults);
        clear_console();
        EXPECT_EQ(0, qvt({"P5"}));
        EXPECT_EQ(r.console, console()) << r.faults;
        EXPECT_EQ(r.err, err_) << r.faults;
    }
    unlink(root_.host("/proc/devices").c_str());
    clear_console();
    EXPECT_EQ(0, qvt({"P5"}));
    EXPECT_EQ(0u, err_.find("could not open /proc/devices: ")) << err_;
    // Every directory already holds the node's name: every mknod fails.
    board("ZK2300");
    std::string node = "/cc-" + std::to_string(getpid());
    for (const char *dir : {"/var/lib/pcmcia", "/var/run", "/dev", "/tmp"})
        ASSERT_EQ(0, system(("mkdir -p '" + root_.host(dir) + node + "'").c_str()));
    clear_console();
    EXPECT_EQ(0, qvt({"P5"}));
    EXPECT_EQ("**************  \n\n", console());
    EXPECT_EQ(0u, err_.find("open_sock(): ")) << err_;
}

TEST_F(CardTest, LongProcDevicesLinesAreSkippedWhole) {
    board("ZK2300");
    // "pcmcia" at the start of the second read of a long line is not a driver line.
    testsupport::write_file(root_.host("/proc/devices"),
                            "Character devices:\n 10 misc-with-a-very-long-name-x\n"
                            "99 aaaaaaaaaaaaaaaaaaaaaaaaaaaa 7 pcmcia\n");
    EXPECT_EQ(-2, pccard_find_major("pcmcia"));
    testsupport::write_file(root_.host("/proc/devices"),
                            "Character devices:\n 10 " + std::string(40, 'm') + "\n254 pcmcia\n");
    EXPECT_EQ(254, pccard_find_major("pcmcia"));
}

using Ethernet = QvtStation;

TEST_F(Ethernet, PhyOfTheZK2100) {
    const char *const rows[][2] = {
        {"25 0x0001", "Ethernet speed is 100M \n"},
        {"25 0x0002", "Ethernet speed is 10M \n"},
        {"25 0x0003", "Ethernet speed is 10M \n"},
        {"25 0x0000", "^_^Please connect the ethernet cable^_^\n"},
    };
    for (const auto &r : rows) {
        board("ZK2100");
        testsupport::write_file(root_.host("/sys/class/net/eth0/phy"),
                                std::string("3 0x8201\n2 0x0\n") + r[0] + "\n");
        clear_console();
        EXPECT_EQ(0, qvt({"D5"}));
        std::string want = std::string(
                               "=================== \nEthernet Test       \n"
                               "=================== \n"
                               "Vendor : REALTEK Instrumments\n"
                               "Device : RTL8201(0x00008201)\n") +
                           r[1] + "Test of Ethernet: OK \n**************  \n\n";
        EXPECT_EQ(want, console()) << r[0];
    }
}

TEST_F(Ethernet, BadPhys) {
    board("ZK2100", "bad-phy");
    clear_console();
    EXPECT_EQ(0, test_EtherNet());
    EXPECT_EQ("Test of Ethernet : Failed\n**************  \n\n", console());
    testsupport::write_file(root_.host("/sys/class/net/eth0/phy"), "3 0x8201\n2 0x1\n");
    clear_console();
    EXPECT_EQ(0, test_EtherNet());
    EXPECT_EQ("Test of Ethernet : Failed\n**************  \n\n", console());
    board("ZK2100", "no-phy");
    clear_console();
    EXPECT_EQ(1, qvt({"D5", "D4"}));
    EXPECT_EQ(0u, err_.find("etcphyrd: ")) << err_;
    EXPECT_EQ(std::string::npos, console().find("**************"));
    EXPECT_EQ(std::string::npos, console().find("Get the MAC"));
}

TEST_F(Ethernet, SwitchOfTheZK2300AndZK2400) {
    for (const char *model : {"ZK2300", "ZK2400"}) {
        board(model);
        clear_console();
        EXPECT_EQ(0, test_EtherNet());
        EXPECT_EQ(
            "Device : ADM6996(7101)\nVersion: 02\n"
            "Port 0(WAN): UP 100M\nPort 1: UP 10M\nPort 2: UP 100M\nPort 3: DOWN 10M\n"
            "Port 4: DOWN 10M\nMII Port: UP 100M\n**************  \n\n",
            console())
            << model;
    }
}

TEST_F(Ethernet, BadSwitches) {
    const char *const rows[][2] = {
        {"unknown-switch", "Test of Ethernet: Unknown Switch Chip(00012340)\n**************  \n\n"},
        {"no-ports",
         "Device : ADM6996(7101)\nVersion: 02\nTest of Ethernet: Failed\n"
         "**************  \n\n"},
    };
    for (const auto &r : rows) {
        board("ZK2300", r[0]);
        clear_console();
        EXPECT_EQ(0, test_EtherNet());
        EXPECT_EQ(r[1], console()) << r[0];
    }
    board("ZK2300");
    testsupport::write_file(root_.host("/dev/adm"), "ports 7 7 7 7 7 7\n");
    clear_console();
    EXPECT_EQ(0, test_EtherNet());
    EXPECT_EQ("Test of Ethernet: Failed\n**************  \n\n", console());
    board("ZK2300", "no-adm");
    clear_console();
    EXPECT_EQ(1, qvt({"D5"}));
    EXPECT_EQ(0u, err_.find("open: ")) << err_;
}

TEST_F(Ethernet, ModelsWithoutATest) {
    for (const char *model : {"ZK2200", "ZK2500"}) {
        board(model);
        clear_console();
        EXPECT_EQ(0, test_EtherNet());
        EXPECT_EQ("**************  \n\n", console()) << model;
    }
}

using ReloadKey = QvtStation;

const char kKeyHead[] =
    "=================== \ntest the reload key \n=================== \n"
    "Please press the Reload key for serval seconds ........  ";

TEST_F(ReloadKey, PressedAtTheSixthRead) {
    board("ZK2300", "key=5");
    clear_console();
    unsigned long t0 = env_.now_ms();
    EXPECT_EQ(0, qvt({"P7"}));
    EXPECT_EQ(std::string(kKeyHead) + "\b0\b1\b2\b3\b4\bok\nReload key test ok\n", console());
    EXPECT_EQ(5000u, env_.now_ms() - t0);
    std::string g = gpio();
    EXPECT_EQ(0u, g.find("in 000000ff\n"));
    EXPECT_EQ("in 000000bf\n", g.substr(g.size() - 12));
}

TEST_F(ReloadKey, NeverPressed) {
    board("ZK2300");
    clear_console();
    EXPECT_EQ(0, qvt({"P7"}));
    std::string out = console(), want = kKeyHead;
    for (unsigned i = 0; i < 120; ++i)
        want += std::string(i < 10 ? 1 : i < 100 ? 2 : 3, '\b') + std::to_string(i);
    EXPECT_EQ(want + "fail\n", out);
}

TEST_F(ReloadKey, FailedReadEndsAtOnceAndNoDriver) {
    board("ZK2300", "no-input");
    clear_console();
    unsigned long t0 = env_.now_ms();
    EXPECT_EQ(0, qvt({"P7"}));
    EXPECT_EQ(std::string(kKeyHead) + "\bfail\n", console());
    EXPECT_EQ(t0, env_.now_ms());
    board("ZK2300", "no-gpio");
    clear_console();
    EXPECT_EQ(0, qvt({"P7"}));
    EXPECT_EQ(
        "=================== \ntest the reload key \n=================== \n"
        "Reload key tset failure",
        console());
}

using Burnin = QvtStation;

TEST_F(Burnin, FlashTest) {
    board("ZK2300");
    clear_console();
    flash_test();
    EXPECT_EQ("Flash test Ok \n", console());
    EXPECT_STREQ("67890", nvram_get("temp_flag2"));
    board("ZK2300", "bad-flash");
    clear_console();
    flash_test();
    EXPECT_EQ("Flash test error \n", console());
}

TEST_F(Burnin, FatalEthernetErrorEndsTheBurninWithStatus1) {
    board("ZK2100", "no-phy");
    clear_console();
    EXPECT_EQ(1, qvt({"Sj", "F", "1"}));
    std::string out = console();
    EXPECT_EQ(0u, out.find("======================================\n"
                           "ZK2100 enter into auto BurninTest mode\n"
                           "======================================\n"
                           "Serial number:     ZA0100000001\n"));
    for (const char *step :
         {"Test1: LED test  \n", "Test2: Flash test  \n**************  \nFlash test Ok \n",
          "Test3: PCMCIA test  \n", "Test4: Ethernet test  \n"})
        EXPECT_NE(std::string::npos, out.find(step)) << step;
    EXPECT_EQ(std::string::npos, out.find("stopped after"));
}

}  // namespace
