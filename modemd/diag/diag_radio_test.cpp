// Status requests against the simulated card: the bytes each sends, the checks of each answer.
#include "modemd/diag/diag_radio.h"

#include <cstring>
#include <string>

#include "modemd/diag/card_engine_fixture.h"
#include "modemd/diag/diag_status.h"

namespace {

using Radio = CardEngine;

std::string zeros(size_t n) {
    return std::string(2 * n, '0');
}

TEST_F(Radio, EachRequestGoesOutAsItsTableSays) {
    start();
    uint8_t buf[128];
    uint16_t prl = 0;
    ASSERT_EQ(0, Diag_Get_New_Snapshot(buf));
    EXPECT_EQ("rx 4b32070007ffff0000", last_sent());
    EXPECT_EQ(100u, buf[0]);
    EXPECT_EQ(6, buf[18]);
    ASSERT_EQ(0, Diag_Get_Status(buf));
    EXPECT_EQ("rx 0c", last_sent());
    EXPECT_EQ(0x02, buf[33]);
    EXPECT_EQ(0x01, buf[34]);
    ASSERT_EQ(0, Diag_Get_Status_Snapshot(buf));
    EXPECT_EQ("rx 63", last_sent());
    ASSERT_EQ(0, Diag_Subsys_Get_CM_State_Info(buf));
    EXPECT_EQ("rx 4b0f0000", last_sent());
    EXPECT_EQ(5, buf[4]);
    ASSERT_EQ(0, Diag_Subsys_Get_HDR_State_Info(buf));
    EXPECT_EQ("rx 4b050800", last_sent());
    EXPECT_EQ(4, buf[1]);
    ASSERT_EQ(0, Diag_TAGraph_Read(buf));
    EXPECT_EQ("rx 19", last_sent());
    ASSERT_EQ(0, Diag_FER_Read(buf));
    EXPECT_EQ("rx 55", last_sent());
    ASSERT_EQ(0, Diag_Get_Local_CDMA_Network_Time(buf));
    EXPECT_EQ("rx 4b320900", last_sent());
    ASSERT_TRUE(control("prl-version 0x1234"));
    ASSERT_EQ(0, Diag_Read_PRL_Version(&prl));
    EXPECT_EQ("rx 4b320c00", last_sent());
    EXPECT_EQ(0x1234, prl);
    ASSERT_EQ(0, Diag_Get_ERI(buf, nullptr));
    EXPECT_EQ("rx 4b32080000", last_sent());
    EXPECT_EQ(0, std::memcmp(buf + 1, "SIMULATED ERI", 13));
    ASSERT_EQ(0, Mode_Change_Radio_Offline_Digital());
    EXPECT_EQ("rx 290100" + zeros(138), last_sent());
    ASSERT_EQ(0, Mode_Change_Radio_Reset());
    EXPECT_EQ("rx 290200" + zeros(138), last_sent());
}

TEST_F(Radio, NullOutputsSendNothing) {
    start();
    EXPECT_EQ(kDiagNullArgument, Diag_FER_Read(nullptr));
    EXPECT_EQ(kDiagNullArgument, Diag_Get_RSSI(nullptr));
    EXPECT_EQ(kDiagNullArgument, Diag_Read_PRL_Version(nullptr));
    EXPECT_EQ(kDiagNullArgument, Diag_Get_Local_CDMA_Network_Time(nullptr));
    char text[8];
    EXPECT_EQ(kDiagNullArgument, Diag_Ext_Build_ID(nullptr, nullptr, nullptr, 8, text, 8));
    EXPECT_TRUE(sent().empty());
}

TEST_F(Radio, ExactLengthAnswersRefuseAnyOther) {
    start({"answer status truncate 47", "answer ta-graph truncate 12"});
    uint8_t buf[64];
    EXPECT_EQ(kDiagMismatch, Diag_Get_Status(buf));
    EXPECT_EQ(kDiagMismatch, Diag_TAGraph_Read(buf));
    ASSERT_TRUE(control("answer cm-state truncate 43"));  // one byte short of the 40
    EXPECT_EQ(kDiagMismatch, Diag_Subsys_Get_CM_State_Info(buf));
    ASSERT_TRUE(control("answer fer error 0x13"));
    EXPECT_EQ(kDiagBadCommand, Diag_FER_Read(buf));
}

TEST_F(Radio, RssiOnlyOnCardsThatAnswerIt) {
    start({"model 0xAC", "firmware 133"});
    uint8_t rssi[8];
    EXPECT_EQ(kDiagNotSupported, Diag_Get_RSSI(rssi));
    EXPECT_TRUE(sent().empty());
}

TEST_F(Radio, RssiFromRevision134) {
    start({"model 0xAC", "firmware 134"});
    uint8_t rssi[8];
    ASSERT_EQ(0, Diag_Get_RSSI(rssi));
    EXPECT_EQ("rx 4bfa1f00" + zeros(137), last_sent());
    EXPECT_EQ(20, rssi[0]);
    EXPECT_EQ(85, rssi[2]);
}

TEST_F(Radio, RssiNeverOnThePlainModel) {
    start({"model 0x99", "firmware 500"});
    uint8_t rssi[8];
    EXPECT_EQ(kDiagNotSupported, Diag_Get_RSSI(rssi));
}

TEST_F(Radio, BuildIdTextsAreBoundedByCapAndAnswer) {
    start({"build-id 0x11 0x22 ABCDEFGH SIM"});
    uint32_t msm = 0, model = 0;
    char build[16], text[16];
    ASSERT_EQ(0, Diag_Ext_Build_ID(&msm, &model, build, 9, text, sizeof text));
    EXPECT_EQ(0x11u, msm);
    EXPECT_EQ(0x22u, model);
    EXPECT_STREQ("ABCDEFGH", build);
    EXPECT_STREQ("SIM", text);
    EXPECT_EQ(kDiagNoRoom, Diag_Ext_Build_ID(&msm, &model, build, 8, text, sizeof text));
    EXPECT_EQ(kDiagNoRoom, Diag_Ext_Build_ID(&msm, &model, build, 9, text, 3));
    // An answer cut inside the build text: the text ends with the answer, the model text is
    // empty, nothing past the end is read.
    ASSERT_TRUE(control("answer build-id truncate 15"));
    ASSERT_EQ(0, Diag_Ext_Build_ID(&msm, &model, build, sizeof build, text, sizeof text));
    EXPECT_STREQ("ABC", build);
    EXPECT_STREQ("", text);
    ASSERT_TRUE(control("answer build-id truncate 11"));
    EXPECT_EQ(kDiagMismatch, Diag_Ext_Build_ID(&msm, &model, build, 9, text, 9));
}

TEST_F(Radio, EriRefusalAndWrongLength) {
    start({"eri-error 3 9"});
    uint8_t eri[87];
    uint8_t error = 0;
    EXPECT_EQ(kDiagLockFailed, Diag_Get_ERI(eri, &error));
    EXPECT_EQ(9, error);
    ASSERT_TRUE(control("eri-error 0"));
    ASSERT_TRUE(control("eri-length 90"));
    EXPECT_EQ(kDiagMismatch, Diag_Get_ERI(eri, &error));
}

TEST_F(Radio, ModeChangeEchoAndCommand) {
    start({"mode-echo wrong"});
    EXPECT_EQ(kDiagWrongEcho, Diag_Mode_Change(1, 5));
    ASSERT_TRUE(control("mode-echo normal"));
    ASSERT_TRUE(control("answer mode truncate 2"));
    EXPECT_EQ(kDiagMismatch, Diag_Mode_Change(1, 5));
}

}  // namespace
