// The command set: start and model choice, parsing, manufacturing data in nvram and in the
// backup store, and the nvram failures.
#include <string>

#include "platform/nvram.h"
#include "qvt/qvt.h"
#include "qvt/qvt_fixture.h"

namespace {

using Start = QvtStation;

const char kBanner[] = "=================== \n";

TEST_F(Start, ModelComesFromTheSecondCharacterOfTheSerialNumber) {
    const char *const table[][2] = {{"ZA1", "ZK2100"},
                                    {"ZB1", "ZK2200"},
                                    {"ZD1", "ZK2300"},
                                    {"ZE1", "ZK2400"},
                                    {"ZF1", "ZK2500"}};
    for (const auto &row : table) {
        ASSERT_EQ(0, nvram_set("SN", row[0]));
        clear_console();
        EXPECT_EQ(0, qvt({}));
        EXPECT_EQ(usage_text(row[1]), console()) << row[0];
    }
}

TEST_F(Start, NoModelEndsWith255) {
    clear_console();
    EXPECT_EQ(255, qvt({"D4"}));
    EXPECT_EQ("bad product name found . \n", console());
    ASSERT_EQ(0, nvram_set("SN", "ZC0399999999"));
    clear_console();
    EXPECT_EQ(255, qvt({"D4"}));
    EXPECT_EQ("unknwon product ID(C) \n", console());
}

TEST_F(Start, UnknownWordsAndParametersPrintTheUsageWithStatus0) {
    board("ZK2200");
    const std::vector<std::vector<std::string>> calls = {
        {"Xy"},
        {"S"},
        {"Sj"},
        {"Sj", "T"},
        {"Sj", "Q", "12345"},
        {"Sj", "F", "2"},
        {"P8", "WWAN", "A"},
        {"P8", "POWER", "G"},
        {"P8", "LED", "G"},
        {"P8", "WWAN"},
        {"D3"},
        {"D3", "Mac", "00:11:22:33:44:55"},
        {"D3", "Sn"},
    };
    for (const auto &words : calls) {
        clear_console();
        EXPECT_EQ(0, qvt(words)) << words[0];
        std::string out = console();
        EXPECT_EQ(usage_text("ZK2200"), out.substr(out.size() < usage_text("ZK2200").size()
                                                       ? 0
                                                       : out.size() - usage_text("ZK2200").size()))
            << words[0];
    }
    EXPECT_EQ(nullptr, nvram_get("Time"));
}

TEST_F(Start, SeveralCommandsInOneCallAndParametersAreNeverCommands) {
    board("ZK2300");
    ASSERT_EQ(0, nvram_set("et0macaddr", "00:90:4c:00:00:01"));
    clear_console();
    // "D4" after Sj T is a command; "Sj" as the value of Sj U is a parameter (wrong length).
    EXPECT_EQ(0, qvt({"Sj", "T", "12:30", "D4"}));
    EXPECT_STREQ("12:30", nvram_get("Time"));
    EXPECT_EQ(std::string("Set the Time ok\n") + kBanner + "Get the MAC&SN value\n" + kBanner +
                  "The Mac of Ethernet:     00:90:4c:00:00:01\n"
                  "The Mac of Wlan:         \n"
                  "The Serial number:       ZD0300000001\n",
              console());
    clear_console();
    EXPECT_EQ(0, qvt({"Sj", "P", "D4D4D4", "Sj", "U", "Si1234"}));
    EXPECT_STREQ("D4D4D4", nvram_get("product_model"));
    EXPECT_STREQ("Si1234", nvram_get("Unitinfo"));
    EXPECT_EQ("Set the PCB info ok\nSet the Unit info ok\n", console());
    // Prefixes: "Sjx" is Sj, "Tea" is the letter T.
    clear_console();
    EXPECT_EQ(0, qvt({"Sjx", "Tea", "08:15"}));
    EXPECT_STREQ("08:15", nvram_get("Time"));
}

TEST_F(Start, FlagCommandsCarryTheModelName) {
    board("ZK2400");
    EXPECT_EQ(0, qvt({"ZK2400QVTOn"}));
    EXPECT_STREQ("1", nvram_get("qvt_flag"));
    EXPECT_EQ(0, qvt({"ZK2400QVTOff"}));
    EXPECT_STREQ("0", nvram_get("qvt_flag"));
    clear_console();
    EXPECT_EQ(0, qvt({"ZK2300QVTOn"}));  // another model's flag word is unknown
    EXPECT_EQ(usage_text("ZK2400"), console());
    EXPECT_STREQ("0", nvram_get("qvt_flag"));
}

using Sj = QvtStation;

TEST_F(Sj, LengthBoundariesOfEveryItem) {
    board("ZK2300");
    struct Row {
        const char *letter, *key;
        size_t good_min, good_max;
    };
    const Row rows[] = {{"T", "Time", 5, 5},           {"D", "Date", 10, 10},
                        {"P", "product_model", 6, 6},  {"B", "hostname", 6, 17},
                        {"U", "Unitinfo", 6, 6},       {"I", "Testinfo", 12, 12},
                        {"M", "Manufacturing", 15, 15}};
    std::string flash = file("/flash/backup");
    for (const Row &r : rows) {
        for (size_t n : {r.good_min - 1, r.good_min, r.good_max, r.good_max + 1}) {
            ASSERT_EQ(0, nvram_unset(r.key));
            std::string value(n, 'v');
            EXPECT_EQ(0, qvt({"Sj", r.letter, value}));
            bool good = n >= r.good_min && n <= r.good_max;
            const char *got = nvram_get(r.key);
            EXPECT_EQ(good, got != nullptr) << r.letter << " " << n;
            if (good && got) {
                EXPECT_EQ(value, got);
            }
        }
    }
    EXPECT_EQ(flash, file("/flash/backup"));  // Sj values stay out of the backup store
    EXPECT_TRUE(mtd_runs_.empty());
}

TEST_F(Sj, TrackDataWithItsFallbacks) {
    board("ZK2500");
    ASSERT_EQ(0, nvram_set("os_time", "09:00"));
    ASSERT_EQ(0, nvram_set("os_date", "2026-12-08"));
    ASSERT_EQ(0, nvram_set("hostname", "ZK2500-EVT-0005"));
    clear_console();
    EXPECT_EQ(0, qvt({"Si"}));
    std::string want = std::string(kBanner) + "Display trace data  \n" + kBanner +
                       "Serial number:     ZF0100000001\n"
                       "Time:              09:00\n"
                       "Date:              2026-12-08\n"
                       "PCBinfo:           \n"
                       "PCBAinfo:          ZK2500-EVT-0005\n"
                       "Unitinfo:          ZK2500-MVT\n"
                       "Testinfo:          123456789012\n"
                       "Manufacturing:     ZK2500-QVT-V1.0\n"
                       "\n";
    EXPECT_EQ(want, console());
    ASSERT_EQ(0, nvram_set("Time", "12:30"));
    ASSERT_EQ(0, nvram_set("Unitinfo", "-UNIT1"));
    clear_console();
    EXPECT_EQ(0, qvt({"Si"}));
    EXPECT_NE(std::string::npos, console().find("Time:              12:30\n"));
    EXPECT_NE(std::string::npos, console().find("Unitinfo:          ZK2500-UNIT1\n"));
}

using D3 = QvtStation;

TEST_F(D3, ItemsGoToNvramAndTheBackupStore) {
    board("ZK2300");
    clear_console();
    EXPECT_EQ(0, qvt({"D3", "Sn", "ZD0399999999", "D3", "EthMac", "02:00:00:01:04:08", "D3",
                      "WlanMac", "02:00:00:01:04:09"}));
    EXPECT_STREQ("ZD0399999999", nvram_get("SN"));
    EXPECT_STREQ("02:00:00:01:04:08", nvram_get("et0macaddr"));
    EXPECT_STREQ("02:00:00:01:04:09", nvram_get("il0macaddr"));
    std::string flash = file("/flash/backup");
    EXPECT_NE(std::string::npos, flash.find(std::string("SN=ZD0399999999\0", 16)));
    EXPECT_NE(std::string::npos, flash.find(std::string("et0macaddr=02:00:00:01:04:08\0", 29)));
    EXPECT_NE(std::string::npos, flash.find(std::string("il0macaddr=02:00:00:01:04:09\0", 29)));
    EXPECT_NE(std::string::npos, flash.find(std::string("other=kept\0", 11)));
    std::string banner = std::string(kBanner) + "Set the MAC&SN value\n" + kBanner;
    EXPECT_EQ(banner + "Set the Serial number ok\n\n" + banner + "Set the Ethernet mac ok\n\n" +
                  banner + "Set the wlan mac ok\n\n",
              console());
    EXPECT_EQ("", err_);
    ASSERT_EQ(6u, mtd_runs_.size());
    EXPECT_EQ("mtd read /tmp/nvram.backup backup", mtd_runs_[0]);
    EXPECT_EQ("mtd write_nvram /tmp/nvram.backup backup", mtd_runs_[1]);
}

TEST_F(D3, WrongLengthsStoreNothing) {
    board("ZK2300");
    std::string flash = file("/flash/backup");
    const char *const rows[][3] = {
        {"Sn", "ZD039999999", "Set the Serial number error\n"},
        {"Sn", "ZD03999999999", "Set the Serial number error\n"},
        {"EthMac", "02:00:00:01:04:0", "Set the Ethernet mac error\n"},
        {"EthMac", "02:00:00:01:04:088", "Set the Ethernet mac error\n"},
        {"WlanMac", "02:00:00:01:04:0", "Set the Wlan mac error\n"},
    };
    for (const auto &r : rows) {
        clear_console();
        EXPECT_EQ(0, qvt({"D3", r[0], r[1]}));
        std::string banner = std::string(kBanner) + "Set the MAC&SN value\n" + kBanner;
        EXPECT_EQ(banner + r[2] + usage_text("ZK2300"), console()) << r[1];
    }
    EXPECT_STREQ("ZD0300000001", nvram_get("SN"));
    EXPECT_EQ(nullptr, nvram_get("et0macaddr"));
    EXPECT_EQ(flash, file("/flash/backup"));
}

TEST_F(D3, BackupComplaintsGoToStandardErrorAndTheCommandStillSucceeds) {
    board("ZK2300");
    testsupport::write_file(root_.host("/flash/backup"), "FLSX0000000000000000");
    clear_console();
    EXPECT_EQ(0, qvt({"D3", "Sn", "ZD0399999999"}));
    EXPECT_EQ("Bad nvram_hdr header\n", err_);
    EXPECT_NE(std::string::npos, console().find("Set the Serial number ok\n"));
    EXPECT_STREQ("ZD0399999999", nvram_get("SN"));
}

TEST_F(D3, K1AndP9) {
    board("ZK2300");
    clear_console();
    EXPECT_EQ(0, qvt({"K1", "P9"}));
    EXPECT_EQ("hide console debug information ok . \nReload system ok . \n", console());
    EXPECT_STREQ("ttyS1", nvram_get("console"));
    EXPECT_STREQ("1", nvram_get("restore_defaults"));
    EXPECT_NE(std::string::npos, file("/flash/backup").find(std::string("console=ttyS1\0", 14)));
}

TEST_F(D3, NvramFailuresAreReportedAndEndWithStatus1) {
    board("ZK2300", "bad-flash");
    std::string flash = file("/flash/backup");
    clear_console();
    EXPECT_EQ(1, qvt({"D3", "Sn", "ZD0399999999", "D4"}));
    std::string out = console();
    EXPECT_NE(std::string::npos, out.find("nvram_commit fail ,ret = -")) << out;
    EXPECT_EQ(std::string::npos, out.find("Set the Serial number ok")) << out;
    EXPECT_EQ(std::string::npos, out.find("Get the MAC&SN")) << out;
    EXPECT_EQ(flash, file("/flash/backup"));
    EXPECT_TRUE(mtd_runs_.empty());
    clear_console();
    EXPECT_EQ(1, qvt({"Sj", "T", "12:30"}));  // the message comes before the commit
    out = console();
    EXPECT_EQ(0u, out.find("Set the Time ok\nnvram_commit fail ,ret = -")) << out;
    EXPECT_EQ('\n', out.back());
    clear_console();
    EXPECT_EQ(1, qvt({"Sj", "P", "ZK2300"}));
    EXPECT_EQ(0u, console().find("nvram_commit fail ,ret = -"));
    for (const char *w : {"K1", "P9", "ZK2300QVTOn"}) {
        clear_console();
        EXPECT_EQ(1, qvt({w})) << w;
        EXPECT_EQ(0u, console().find("nvram_commit fail ,ret = -")) << w;
    }
}

TEST_F(D3, ConsoleMessagesAreNeverHeldBackWithAShortSecond) {
    board("ZK2300");
    setenv("QVT_SECOND_MS", "1", 1);
    clear_console();
    for (int i = 0; i < 30; ++i)
        ASSERT_EQ(0, qvt({"D4"}));
    unsetenv("QVT_SECOND_MS");
    std::string out = console();
    size_t count = 0;
    for (size_t at = out.find("The Serial number:"); at != std::string::npos;
         at = out.find("The Serial number:", at + 1))
        ++count;
    EXPECT_EQ(30u, count);
}

}  // namespace
