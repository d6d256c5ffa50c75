// GetNetworkInfo against the simulated card, and the TA-graph rule on its own.
#include "modemd/diag/network_info.h"

#include <cstring>
#include <string>

#include "modemd/diag/card_engine_fixture.h"
#include "modemd/diag/diag_status.h"

namespace {

using NetworkInfo = CardEngine;

struct Info {
    int status;
    network_info_fields f;
    uint8_t raw[kNetworkInfoSize];
};

Info read_info() {
    Info i;
    std::memset(i.raw, 0xEE, sizeof i.raw);
    i.status = GetNetworkInfo(i.raw);
    i.f = network_info_decode(i.raw);
    return i;
}

TEST(TaGraphRule, StrongerSignalGivesHigherLevelAndEndsMeet) {
    uint16_t level = 0, dbm = 0;
    ASSERT_TRUE(network_1x_from_ta_graph(-90, &level, &dbm));  // -30 - 63.248: -93
    EXPECT_EQ(93, dbm);
    EXPECT_EQ(19, level);
    ASSERT_TRUE(network_1x_from_ta_graph(-128, &level, &dbm));  // -105
    EXPECT_EQ(105, dbm);
    EXPECT_EQ(12, level);
    ASSERT_TRUE(network_1x_from_ta_graph(127, &level, &dbm));  // -21: clamped
    EXPECT_EQ(75, dbm);
    EXPECT_EQ(31, level);
    for (int r = -128; r < 128; ++r) {
        ASSERT_TRUE(network_1x_from_ta_graph(static_cast<int8_t>(r), &level, &dbm));
        ASSERT_GE(dbm, 75);
        ASSERT_LE(dbm, 125);
        ASSERT_EQ((125 - dbm) * 31 / 50, level);
    }
}

TEST_F(NetworkInfo, NoServiceGivesWeakestValues) {
    start({"record-field cm-state 4 4 4"});
    Info i = read_info();
    ASSERT_EQ(0, i.status);
    EXPECT_EQ(0u, i.f.service);
    EXPECT_EQ(0, i.f.level_1x);
    EXPECT_EQ(125, i.f.dbm_1x);
    EXPECT_EQ(0, i.f.level_evdo);
    EXPECT_EQ(125, i.f.dbm_evdo);
    EXPECT_EQ(1u, sent().size());  // only the CM state was asked
}

TEST_F(NetworkInfo, CmFailureLeavesTheRecord) {
    start({"answer cm-state error 0x14"});
    Info i = read_info();
    EXPECT_EQ(kDiagBadParams, i.status);
    for (uint8_t b : i.raw)
        ASSERT_EQ(0xEE, b);
}

TEST_F(NetworkInfo, FailedSnapshotReturnsItsOwnStatus) {
    start({"answer snapshot error 0x15"});
    Info i = read_info();
    EXPECT_EQ(kDiagBadLength, i.status);  // not the HDR read's 0
}

TEST_F(NetworkInfo, EvdoServiceSignalFromTheSnapshot) {
    start({"record-field cm-state 8 4 4", "record-field snapshot 0 4 31", "nv 20 00 83 00 c9 01",
           "nv 21 00 10 00 20 00"});
    Info i = read_info();
    ASSERT_EQ(0, i.status);
    EXPECT_EQ(6u, i.f.service);
    EXPECT_EQ(31, i.f.level_evdo);
    EXPECT_EQ(75, i.f.dbm_evdo);
    EXPECT_EQ(2, i.f.evdo_state);  // snapshot byte 42 is 1
    EXPECT_EQ(1, i.f.snapshot_flag);
    EXPECT_EQ(1, i.f.hybrid);
    EXPECT_EQ(131u, i.f.primary_a);
    EXPECT_EQ(457u, i.f.primary_b);
    EXPECT_EQ(16u, i.f.secondary_a);
    EXPECT_EQ(32u, i.f.secondary_b);
    EXPECT_EQ(0x0102u, i.f.status_word);
    // The 1x values come from the TA graph (-90: -93 dBm, level 19).
    EXPECT_EQ(93, i.f.dbm_1x);
    EXPECT_EQ(19, i.f.level_1x);

    ASSERT_TRUE(control("record-field snapshot 0 4 100"));
    i = read_info();
    EXPECT_EQ(100, i.f.dbm_evdo);
    EXPECT_EQ(15, i.f.level_evdo);
    ASSERT_TRUE(control("record-field snapshot 0 4 32"));
    i = read_info();
    EXPECT_EQ(31, i.f.level_evdo);
    EXPECT_EQ(75, i.f.dbm_evdo);
    ASSERT_TRUE(control("record-field snapshot 0 4 50"));  // neither a level nor -dBm
    i = read_info();
    EXPECT_EQ(0, i.f.level_evdo);
    EXPECT_EQ(125, i.f.dbm_evdo);
}

TEST_F(NetworkInfo, HybridRuleForService5) {
    start();  // class 2, byte 18 = 6, HDR 4/3, hybrid
    EXPECT_EQ(6u, read_info().f.service);
    ASSERT_TRUE(control("record-field hdr-state 8 1 0"));  // not hybrid
    EXPECT_EQ(5u, read_info().f.service);
    ASSERT_TRUE(control("record-field hdr-state 8 1 1"));
    ASSERT_TRUE(control("record-field hdr-state 2 1 1"));  // HDR byte 2 neither 2 nor 3
    EXPECT_EQ(5u, read_info().f.service);
    ASSERT_TRUE(control("record-field hdr-state 2 1 2"));
    ASSERT_TRUE(control("record-field snapshot 18 1 5"));  // 4 or 5 stays 3
    EXPECT_EQ(3u, read_info().f.service);
    ASSERT_TRUE(control("record-field snapshot 18 1 3"));
    Info i = read_info();
    EXPECT_EQ(2u, i.f.service);
    EXPECT_EQ(0, i.f.level_evdo);  // not EV-DO
    EXPECT_EQ(125, i.f.dbm_evdo);
    EXPECT_EQ(0, i.f.evdo_state);
}

TEST_F(NetworkInfo, Class0WithHdrInEvdoIsEvdo) {
    start({"record-field cm-state 8 4 0", "record-field snapshot 20 1 9"});
    Info i = read_info();
    EXPECT_EQ(6u, i.f.service);
    EXPECT_EQ(3u, i.f.roam);
    ASSERT_TRUE(control("record-field hdr-state 1 1 3"));
    i = read_info();
    EXPECT_EQ(0u, i.f.service);  // class 0 stays outside 1-5
}

TEST_F(NetworkInfo, RssiOverridesBothSignals) {
    start({"model 0xAC", "firmware 134", "record rssi 0a00 5a00 0b00 5b00"});
    Info i = read_info();
    ASSERT_EQ(0, i.status);
    EXPECT_EQ(10, i.f.level_1x);
    EXPECT_EQ(90, i.f.dbm_1x);
    EXPECT_EQ(11, i.f.level_evdo);
    EXPECT_EQ(91, i.f.dbm_evdo);
}

}  // namespace
