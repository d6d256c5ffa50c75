#include "modemd/diag/gps.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "modemd/diag/card_engine_fixture.h"
#include "modemd/diag/diag_status.h"

namespace {

gps_raw_position raw_with(int32_t latitude, uint32_t mask, uint8_t vertical_present) {
    gps_raw_position r{};
    r.latitude = latitude;
    r.longitude = -latitude;
    r.timestamp = 0x01020304;
    r.angle = 4;
    r.along_code = 0;
    r.perpendicular_code = 29;
    r.vertical_present = vertical_present;
    r.mask = mask;
    r.altitude = 620;
    r.heading = 256;
    r.horizontal_speed = 10;
    r.vertical_speed = -6;
    r.vertical_code = 30;
    return r;
}

TEST(GpsFix, QuarterTurnOfLatitudeIs45Degrees) {
    gps_raw_position raw = raw_with(8388608, 0, 0);
    gps_fix fix;
    ASSERT_EQ(0, GetStdGPSFix(&fix, &raw));
    EXPECT_DOUBLE_EQ(45.0, fix.latitude);
    EXPECT_DOUBLE_EQ(-45.0, fix.longitude);
    EXPECT_EQ(0x01020304u, fix.timestamp);
}

TEST(GpsFix, MaskZeroLeavesAltitudeSpeedsAndHeadingButFillsUncertainty) {
    gps_raw_position raw = raw_with(-8388608, 0, 1);
    gps_fix fix;
    ASSERT_EQ(0, GetStdGPSFix(&fix, &raw));
    EXPECT_DOUBLE_EQ(-45.0, fix.latitude);
    EXPECT_EQ(0, fix.altitude);
    EXPECT_EQ(0.0, fix.horizontal_speed);
    EXPECT_EQ(0.0, fix.vertical_speed);
    EXPECT_EQ(0.0, fix.heading);
    EXPECT_DOUBLE_EQ(22.5, fix.uncertainty_angle);
    EXPECT_DOUBLE_EQ(0.5, fix.uncertainty_along);
    EXPECT_DOUBLE_EQ(12288.0, fix.uncertainty_perpendicular);
    EXPECT_DOUBLE_EQ(-1.0, fix.uncertainty_vertical);  // code 30: not computable
}

TEST(GpsFix, VelocityWithoutVerticalFlagLeavesVerticalSpeed) {
    gps_raw_position raw = raw_with(0, kGpsMaskVelocity, 0);
    gps_fix fix;
    ASSERT_EQ(0, GetStdGPSFix(&fix, &raw));
    EXPECT_DOUBLE_EQ(2.5, fix.horizontal_speed);
    EXPECT_DOUBLE_EQ(90.0, fix.heading);
    EXPECT_EQ(0.0, fix.vertical_speed);
    EXPECT_EQ(0, fix.altitude);
}

TEST(GpsFix, AllPresentFillsEverything) {
    gps_raw_position raw = raw_with(0, kGpsMaskAltitude | kGpsMaskVelocity, 1);
    gps_fix fix;
    ASSERT_EQ(0, GetStdGPSFix(&fix, &raw));
    EXPECT_EQ(120, fix.altitude);
    EXPECT_DOUBLE_EQ(-3.0, fix.vertical_speed);
    raw.altitude = 0;  // below the reference: negative metres
    ASSERT_EQ(0, GetStdGPSFix(&fix, &raw));
    EXPECT_EQ(-500, fix.altitude);
}

TEST(GpsFix, UncertaintyCodesBeyondTheTableAreNotComputable) {
    gps_raw_position raw = raw_with(0, 0, 0);
    for (uint8_t code : {30, 31, 32, 255}) {
        raw.along_code = code;
        gps_fix fix;
        ASSERT_EQ(0, GetStdGPSFix(&fix, &raw));
        EXPECT_DOUBLE_EQ(-1.0, fix.uncertainty_along) << int{code};
    }
}

TEST(GpsFix, NullPointersGive1) {
    gps_raw_position raw{};
    gps_fix fix;
    EXPECT_EQ(1, GetStdGPSFix(nullptr, &raw));
    EXPECT_EQ(1, GetStdGPSFix(&fix, nullptr));
}

// The GPS requests against the simulated card.
class GpsCard : public CardEngine {};

gps_stream_record stream_record(const char *path) {
    gps_stream_record s{};
    s.field0 = 1;
    std::strncpy(s.port_path, path, sizeof s.port_path - 1);
    s.field258 = 1;
    s.session_value_1 = 1;
    s.session_value_2 = 0xFFFFFFFF;
    return s;
}

TEST_F(GpsCard, StreamStartSendsTheDefaultSessionBlock) {
    start();
    gps_stream_record s = stream_record("/dev/usb/tts/2");
    EXPECT_EQ(0, StartGPSStream(&s));
    EXPECT_EQ(std::vector<std::string>({"rx 4b0d0000"
                                        "0401000100000010"
                                        "000000000000000000000000"
                                        "01000000ffffffff"
                                        "00000000"
                                        "000000000000000000000000"}),
              sent());
}

TEST_F(GpsCard, StreamStartWithEmptyPathSendsNothing) {
    start();
    gps_stream_record s = stream_record("");
    EXPECT_EQ(kGpsEmptyPath, StartGPSStream(&s));
    EXPECT_EQ(kGpsBadRecord, StartGPSStream(nullptr));
    EXPECT_TRUE(sent().empty());
}

TEST_F(GpsCard, StreamStartRefusedOrBrokenAnswers) {
    start({"answer gps-start error 0x14"});
    gps_stream_record s = stream_record("/dev/usb/tts/2");
    EXPECT_EQ(kGpsRefused, StartGPSStream(&s));
    ASSERT_TRUE(card_->control("answer gps-start error 0x13"));
    EXPECT_EQ(kGpsRefused, StartGPSStream(&s));
    ASSERT_TRUE(card_->control("answer gps-start error 0x15"));
    EXPECT_EQ(kGpsRequestFailed, StartGPSStream(&s));
    ASSERT_TRUE(card_->control("answer gps-start truncate 6"));
    EXPECT_EQ(kGpsRequestFailed, StartGPSStream(&s));
}

TEST_F(GpsCard, EndSendsAZeroSessionThenTheEndCommand) {
    start({"gps-end-result 9"});
    EXPECT_EQ(0, EndGPSStream());
    std::vector<std::string> got = sent();
    ASSERT_EQ(2u, got.size());
    EXPECT_EQ(
        "rx 4b0d0000"
        "0401000100000010" +
            std::string(72, '0'),
        got[0]);
    EXPECT_EQ("rx 4b0d01000000000000000000", got[1]);
    uint32_t word = 0;
    EXPECT_EQ(0, DiagGPSEndCmd(&word));
    EXPECT_EQ(9u, word);
}

TEST_F(GpsCard, EndRefusedAtTheStartSendsNoEndCommand) {
    start({"answer gps-start error 0x13"});
    EXPECT_EQ(kGpsRefused, EndGPSStream());
    EXPECT_EQ(1u, sent().size());
}

TEST_F(GpsCard, ConfigureMapsTheCardStatusWord) {
    start();
    const uint32_t pair[2] = {2, 0x11223344};
    const struct {
        const char *line;
        int status;
        uint32_t result;  // what result_out holds afterwards (it starts at 77)
    } kCases[] = {
        {"gps-config 0 5", 0, 5},
        {"gps-config 1 5", kGpsConfigRejected, 77},
        {"gps-config 2 5", kDiagBadParams, 77},
        {"gps-config 9 5", 0, 77},
    };
    for (const auto &c : kCases) {
        ASSERT_TRUE(card_->control(c.line));
        uint32_t result = 77;
        EXPECT_EQ(c.status, DiagConfigureGPS(pair, &result)) << c.line;
        EXPECT_EQ(c.result, result) << c.line;
    }
    EXPECT_EQ(
        "rx 4b0d03000200000044332211"
        "00000000",
        sent().back());
    EXPECT_EQ(kDiagNullArgument, DiagConfigureGPS(nullptr, nullptr));
}

TEST_F(GpsCard, LastPositionIsConvertedFromTheCardsRecord) {
    start(
        {"position lat=8388608 lon=-4194304 time=1234 mask=3 alt=620 vflag=1 vspeed=-4 "
         "hspeed=8 heading=512 angle=2 along=1 perp=2 vunc=31"});
    gps_fix fix;
    ASSERT_EQ(0, GetLastPositionFix(&fix));
    EXPECT_EQ(1234u, fix.timestamp);
    EXPECT_DOUBLE_EQ(45.0, fix.latitude);
    EXPECT_DOUBLE_EQ(-22.5, fix.longitude);
    EXPECT_EQ(120, fix.altitude);
    EXPECT_DOUBLE_EQ(-2.0, fix.vertical_speed);
    EXPECT_DOUBLE_EQ(2.0, fix.horizontal_speed);
    EXPECT_DOUBLE_EQ(180.0, fix.heading);
    EXPECT_DOUBLE_EQ(11.25, fix.uncertainty_angle);
    EXPECT_DOUBLE_EQ(0.75, fix.uncertainty_along);
    EXPECT_DOUBLE_EQ(1.0, fix.uncertainty_perpendicular);
    EXPECT_DOUBLE_EQ(-1.0, fix.uncertainty_vertical);
    EXPECT_EQ("rx 4b0d040000000000", sent().back());
    EXPECT_EQ(kGpsBadRecord, GetLastPositionFix(nullptr));
}

TEST_F(GpsCard, LastPositionFailures) {
    start({"answer gps-position error 0x14"});
    gps_fix fix;
    EXPECT_EQ(kGpsRefused, GetLastPositionFix(&fix));
    // An answer shorter than the record is refused, not read past its end.
    ASSERT_TRUE(card_->control("answer gps-position truncate 35"));
    gps_raw_position raw;
    EXPECT_EQ(kDiagMismatch, DiagGPSGetLastKnownPosition(&raw));
    EXPECT_EQ(kGpsRequestFailed, GetLastPositionFix(&fix));
    EXPECT_EQ(kDiagNullArgument, DiagGPSGetLastKnownPosition(nullptr));
}

TEST_F(GpsCard, SplitGluedAndInterruptedAnswersAreStillFound) {
    start({"position lat=8388608 reserved=0x7e7d7e7d"});
    gps_fix fix;
    for (const char *mode : {"split 3", "split-escape", "glue"}) {
        ASSERT_TRUE(card_->control(std::string("answer gps-position ") + mode));
        ASSERT_TRUE(card_->control("send-event"));
        ASSERT_TRUE(card_->control("send-log"));
        ASSERT_TRUE(card_->control("send-empty"));
        EXPECT_EQ(0, GetLastPositionFix(&fix)) << mode;
        EXPECT_DOUBLE_EQ(45.0, fix.latitude) << mode;
    }
}

TEST(GpsNotStarted, PositionNeedsTheEngine) {
    gps_fix fix;
    EXPECT_EQ(kGpsNotStarted, GetLastPositionFix(&fix));
}

}  // namespace
