// NAM item accessors against the simulated card: request bytes as the card received them,
// the card's refusals, and the checks made before anything is sent.
#include "modemd/diag/nam_items.h"

#include <cstring>
#include <string>

#include "modemd/diag/card_engine_fixture.h"
#include "modemd/diag/diag_nv.h"
#include "modemd/diag/diag_status.h"

namespace {

using Nam = CardEngine;

TEST_F(Nam, U16ItemIsWrittenAndReadForItsNam) {
    start();
    uint16_t err = 0;
    ASSERT_EQ(0, nam_pref_mode_set(1, 0x0203, &err));
    EXPECT_EQ(nv_request(0x27, 10, {0x01, 0x03, 0x02}), last_sent());
    uint16_t mode = 0;
    ASSERT_EQ(0, nam_pref_mode_get(1, &mode, &err));
    EXPECT_EQ(nv_request(0x26, 10, {0x01}), last_sent());
    EXPECT_EQ(0x0203, mode);
    // NAM 0 is another item: never written, the card reports it inactive.
    EXPECT_EQ(kDiagNvRefused, nam_pref_mode_get(0, &mode, &err));
    EXPECT_EQ(5, err);
    EXPECT_EQ(0x0203, mode);
}

TEST_F(Nam, RefusalGives26WithTheCardsStatus) {
    start({"nv 442 00 07", "nv-status 442 2"});
    uint16_t err = 0, value = 99;
    EXPECT_EQ(kDiagNvRefused, nam_roam_pref_get(0, &value, &err));
    EXPECT_EQ(2, err);
    EXPECT_EQ(99, value);
    EXPECT_EQ(kDiagNvRefused, nam_roam_pref_set(0, 1, nullptr));  // no error output: fine
    ASSERT_TRUE(control("nv-status 442 0"));
    ASSERT_EQ(0, nam_roam_pref_get(0, &value, &err));
    EXPECT_EQ(7, value);
}

TEST_F(Nam, BadNamOrMissingOutputSendsNothing) {
    start();
    uint16_t v;
    char text[16];
    uint16_t a;
    EXPECT_EQ(kDiagNullArgument, nam_pref_mode_get(2, &v, nullptr));
    EXPECT_EQ(kDiagNullArgument, nam_pref_mode_get(-1, &v, nullptr));
    EXPECT_EQ(kDiagNullArgument, nam_pref_mode_get(0, nullptr, nullptr));
    EXPECT_EQ(kDiagNullArgument, nam_min1_min2_read(2, text, sizeof text, nullptr));
    EXPECT_EQ(kDiagNullArgument, nam_pcdmach_read(0, &a, nullptr, nullptr));
    EXPECT_EQ(kDiagNullArgument, nam_directory_number_read(0, text, 0, nullptr));
    EXPECT_TRUE(sent().empty());
}

TEST_F(Nam, OutputsTooSmallGive13BeforeAnyRequest) {
    start({"nv 178 00 36 31 39 35 35 35 31 32 33 34"});
    char out[16];
    EXPECT_EQ(kDiagNoRoom, nam_directory_number_read(0, out, 9, nullptr));
    EXPECT_EQ(kDiagNoRoom, nam_min1_min2_read(0, out, 9, nullptr));
    EXPECT_TRUE(sent().empty());
    ASSERT_EQ(0, nam_directory_number_read(0, out, sizeof out, nullptr));
    EXPECT_STREQ("6195551234", out);
}

TEST_F(Nam, MinWriteReadsEachItemOfItsNamAndKeepsTheOtherBytes) {
    start({"nv 33 00 11 22", "nv 33 01 aa bb 00 00 cc", "nv 32 01 dd 00 00 00 00 00 00 00 ee"});
    char digits[] = "6195551234";
    uint16_t err = 0;
    ASSERT_EQ(0, nam_min1_min2_write(1, digits, 10, &err));
    std::vector<std::string> s = sent();
    ASSERT_EQ(4u, s.size());
    EXPECT_EQ(nv_request(0x26, 33, {0x01}), s[0]);
    EXPECT_EQ(nv_request(0x27, 33, {0x01, 0xaa, 0xbb, 0xfc, 0x01, 0xcc}), s[1]);
    EXPECT_EQ(nv_request(0x26, 32, {0x01}), s[2]);
    EXPECT_EQ(nv_request(0x27, 32, {0x01, 0xdd, 0, 0, 0, 0x7b, 0x04, 0x6f, 0x00, 0xee}), s[3]);
    char out[11];
    ASSERT_EQ(0, nam_min1_min2_read(1, out, sizeof out, &err));
    EXPECT_STREQ("6195551234", out);
    // NAM 0's item 33 is as it was.
    diag_nv_record r{};
    r.item = 33;
    ASSERT_EQ(0, Diag_NV_Read(&r));
    EXPECT_EQ(0x11, r.item_data[1]);
    EXPECT_EQ(0, r.item_data[3]);
}

TEST_F(Nam, MinWriteTakesSpacesAsZerosOnACopyAndRefusesOtherCharacters) {
    start({"nv 33 00", "nv 32 00"});
    char in[] = "555 55 0234";
    ASSERT_EQ(0, nam_min1_min2_write(0, in, 10, nullptr));
    EXPECT_STREQ("555 55 0234", in);  // unchanged
    char out[11];
    ASSERT_EQ(0, nam_min1_min2_read(0, out, sizeof out, nullptr));
    EXPECT_STREQ("5550550023", out);
    size_t before = sent().size();
    EXPECT_EQ(kDiagNullArgument, nam_min1_min2_write(0, "61955512x4", 10, nullptr));
    EXPECT_EQ(kDiagNullArgument, nam_min1_min2_write(0, "619555123", 9, nullptr));
    EXPECT_EQ(before, sent().size());
}

TEST_F(Nam, MinWriteOfAnItemTheCardLacksGives26) {
    start({"nv 33 00"});
    uint16_t err = 0;
    EXPECT_EQ(kDiagNvRefused, nam_min1_min2_write(0, "6195551234", 10, &err));
    EXPECT_EQ(5, err);  // item 32 was never written
}

TEST_F(Nam, MinReadOfZeroAndOfValuesPastTheTable) {
    start({"nv 33 00 00 00 fc 01", "nv 32 00"});
    char out[11];
    ASSERT_EQ(0, nam_min1_min2_read(0, out, sizeof out, nullptr));
    EXPECT_STREQ("6190000000", out);
    ASSERT_TRUE(control("nv 33 00 00 00 e8 03"));  // MIN2 1000
    EXPECT_EQ(kDiagMismatch, nam_min1_min2_read(0, out, sizeof out, nullptr));
    ASSERT_TRUE(control("nv 33 00 00 00 fc 01"));
    ASSERT_TRUE(control("nv 32 00 00 00 00 00 05 00 00 00"));  // fourth digit 0
    EXPECT_EQ(kDiagMismatch, nam_min1_min2_read(0, out, sizeof out, nullptr));
}

TEST_F(Nam, MinReadStatusesOfEachRead) {
    start({"nv 33 00 00 00 fc 01", "nv-status 32 4"});
    char out[11];
    uint16_t err = 0;
    EXPECT_EQ(kDiagLockFailed, nam_min1_min2_read(0, out, sizeof out, &err));
    EXPECT_EQ(4, err);
    // A transport failure of the first read reads as 13, as the library has always said.
    ASSERT_TRUE(control("answer nv-read error 0x14"));
    EXPECT_EQ(kDiagNoRoom, nam_min1_min2_read(0, out, sizeof out, &err));
}

TEST_F(Nam, DirectoryNumberWriteReadsOnlyLenBytes) {
    start();
    char in[3] = {'6', '1', '9'};  // no terminator: only len bytes may be read
    ASSERT_EQ(0, nam_directory_number_write(1, in, sizeof in, nullptr));
    EXPECT_EQ(nv_request(0x27, 178, {0x01, '6', '1', '9'}), last_sent());
    ASSERT_EQ(0, nam_directory_number_write(0, "61955512345678", 14, nullptr));
    EXPECT_EQ(nv_request(0x27, 178, {0x00, '6', '1', '9', '5', '5', '5', '1', '2', '3', '4'}),
              last_sent());
}

TEST_F(Nam, DeviceActivatedNeedsRealNumbers) {
    start({"nv 178 00 30 30 30 30 30 30 30 30 30 30", "nv 33 00 00 00 fc 01",
           "nv 32 00 00 00 00 00 7b 04 6f 00"});
    uint8_t active = 7;
    ASSERT_EQ(0, IsDeviceActivated(0, &active));
    EXPECT_EQ(0, active);
    ASSERT_TRUE(control("nv 178 00 36 31 39 35 35 35 31 32 33 34"));
    ASSERT_EQ(0, IsDeviceActivated(0, &active));
    EXPECT_EQ(1, active);
    EXPECT_EQ(kDiagNvRefused, IsDeviceActivated(1, &active));  // NAM 1 has no MDN
}

TEST_F(Nam, TextReadersStayWithinLenAndCheckTheCardsCodes) {
    start({"nv 37 00 00 0c", "nv 176 00 3a 01", "nv 177 00 3f"});
    char out[8];
    ASSERT_EQ(0, nam_accolc_read(0, out, sizeof out, nullptr));
    EXPECT_STREQ("12", out);
    EXPECT_EQ(kDiagNoRoom, nam_accolc_read(0, out, 2, nullptr));
    ASSERT_EQ(0, nam_mcc_read(0, out, sizeof out, nullptr));
    EXPECT_STREQ("425", out);  // code 314: 3 -> '4', 1 -> '2', 4 -> '5'
    EXPECT_EQ(kDiagNoRoom, nam_mcc_read(0, out, 3, nullptr));
    ASSERT_EQ(0, nam_11_12_read(0, out, sizeof out, nullptr));
    EXPECT_STREQ("74", out);  // 63: 6 -> '7', 3 -> '4'
    EXPECT_EQ(kDiagNoRoom, nam_11_12_read(0, out, 2, nullptr));
    ASSERT_TRUE(control("nv 176 00 e8 03"));
    EXPECT_EQ(kDiagMismatch, nam_mcc_read(0, out, sizeof out, nullptr));
    ASSERT_TRUE(control("nv 177 00 64"));
    EXPECT_EQ(kDiagMismatch, nam_11_12_read(0, out, sizeof out, nullptr));
}

TEST_F(Nam, SidNidPairsAndChannels) {
    start();
    uint16_t sids[20], nids[20];
    for (int i = 0; i < 20; ++i) {
        sids[i] = static_cast<uint16_t>(100 + i);
        nids[i] = static_cast<uint16_t>(65535 - i);
    }
    ASSERT_EQ(0, nam_home_sid_nid_write(1, sids, nids, nullptr));
    uint16_t s2[3] = {}, n2[1] = {};
    ASSERT_EQ(0, nam_home_sid_nid_read(1, s2, 3, n2, 1, nullptr));
    EXPECT_EQ(100, s2[0]);
    EXPECT_EQ(102, s2[2]);
    EXPECT_EQ(65535, n2[0]);
    ASSERT_TRUE(control("nv 20 00 83 00 c9 01"));
    uint16_t a = 0, b = 0;
    ASSERT_EQ(0, nam_pcdmach_read(0, &a, &b, nullptr));
    EXPECT_EQ(131, a);
    EXPECT_EQ(457, b);
}

}  // namespace
