#include "modemd/nmea.h"

#include <gtest/gtest.h>

#include <cstring>

#include "common/bytes.h"
#include "modemd/cdu.h"

namespace {

const char kRmc[] = "$GPRMC,123519.000,A,4807.0380,N,01131.0000,E,022.4,084.4,230394,003.1,W*6A";
const char kGga[] = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47";

TEST(Nmea, GprmcGivesFixPositionSpeedAndCourse) {
    gps_info g{};
    EXPECT_EQ(1, parse_gps_string(kRmc, &g));
    EXPECT_EQ(1, g.fix);
    EXPECT_EQ(48 + 7 / 60.0 + 380 / 600000.0, g.latitude);  // exactly the card's form
    EXPECT_EQ(11 + 31 / 60.0 + 0 / 600000.0, g.longitude);
    EXPECT_DOUBLE_EQ(22.4 * 1.852, g.velocity);
    EXPECT_DOUBLE_EQ(84.4, g.direction);
    EXPECT_EQ(12, g.hour);
    EXPECT_EQ(35, g.minute);
    EXPECT_EQ(19, g.second);
    EXPECT_EQ(0, g.fraction);
    EXPECT_EQ(0, strncmp("123519.000", g.time, sizeof g.time));
}

TEST(Nmea, SouthAndWestAreNegative) {
    gps_info g{};
    EXPECT_EQ(1, parse_gps_string(
                     "$GPRMC,123519.000,V,4807.0380,S,01131.0000,W,022.4,084.4,230394,,*6A", &g));
    EXPECT_EQ(0, g.fix);
    EXPECT_EQ(-(48 + 7 / 60.0 + 380 / 600000.0), g.latitude);
    EXPECT_EQ(-(11 + 31 / 60.0), g.longitude);
}

TEST(Nmea, GpggaGivesQualitySatellitesDilutionAndAltitude) {
    gps_info g{};
    EXPECT_EQ(1, parse_gps_string(kGga, &g));
    EXPECT_EQ(1, g.fix);
    EXPECT_EQ(8, g.satellites);
    EXPECT_DOUBLE_EQ(0.9, g.dis);
    EXPECT_DOUBLE_EQ(545.4, g.height);
    EXPECT_EQ('M', g.heightunit);
    uint8_t reply[kGpsReplyLen];
    memset(reply, 0xEE, sizeof reply);
    gps_reply_build(g, reply);
    EXPECT_EQ(545, static_cast<int32_t>(get_host32(reply + 24)));
    double lat;
    memcpy(&lat, reply + 8, sizeof lat);
    EXPECT_DOUBLE_EQ(g.latitude, lat);
    for (int i : {0, 1, 2, 3, 4, 5, 6, 7, 28, 40, 55})
        EXPECT_EQ(0, reply[i]) << i;
}

TEST(Nmea, FractionOfMinutesScalesWithItsDigits) {
    double four = 0, three = 0, five = 0, none = 0;
    ASSERT_TRUE(nmea_position("4807.0380", 2, &four));
    ASSERT_TRUE(nmea_position("4807.038", 2, &three));
    ASSERT_TRUE(nmea_position("4807.03800", 2, &five));
    ASSERT_TRUE(nmea_position("4807", 2, &none));
    EXPECT_DOUBLE_EQ(four, three);
    EXPECT_DOUBLE_EQ(four, five);
    EXPECT_DOUBLE_EQ(48 + 7 / 60.0, none);
    double lon = 0;
    ASSERT_TRUE(nmea_position("01131.5", 3, &lon));
    EXPECT_DOUBLE_EQ(11 + 31.5 / 60.0, lon);
    EXPECT_FALSE(nmea_position("48", 2, &lon));
    EXPECT_FALSE(nmea_position("4x07.1", 2, &lon));
    EXPECT_FALSE(nmea_position("", 3, &lon));
}

TEST(Nmea, SameTimeTextLeavesTheParsedTimeAlone) {
    gps_info g{};
    EXPECT_EQ(1, parse_gps_string(kRmc, &g));
    g.hour = 99;
    EXPECT_EQ(1, parse_gps_string(kRmc, &g));
    EXPECT_EQ(99, g.hour);
    EXPECT_EQ(1, parse_gps_string("$GPRMC,123520.000,A,,,,,,,,,*00", &g));
    EXPECT_EQ(12, g.hour);
    EXPECT_EQ(20, g.second);
}

TEST(Nmea, EmptyOrMissingFieldsKeepTheirValues) {
    gps_info g{};
    EXPECT_EQ(1, parse_gps_string(kGga, &g));
    EXPECT_EQ(1, parse_gps_string("$GPGGA,123600,,,,", &g));
    EXPECT_DOUBLE_EQ(545.4, g.height);
    EXPECT_EQ(48 + 7 / 60.0 + 38 / 60000.0, g.latitude);
}

TEST(Nmea, OtherTextIsRecognisedButNotStored) {
    gps_info g{};
    EXPECT_EQ(0, parse_gps_string("GPRMC,123519,A,4807.038,N", &g));
    EXPECT_EQ(0, parse_gps_string("", &g));
    EXPECT_EQ(1, parse_gps_string("$GPGSV,2,1,08,01,40,083,46,02,17,308,41*75", &g));
    EXPECT_EQ(1, parse_gps_string("$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1*39", &g));
    EXPECT_EQ(1, parse_gps_string("$GPXYZ,1,2", &g));
    EXPECT_EQ(0.0, g.latitude);
    EXPECT_EQ(0, g.fix);
}

}  // namespace
