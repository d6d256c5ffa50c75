#include "common/gps_record.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "common/bytes.h"

namespace {

TEST(GpsRecord, FieldsStandAtTheirOffsetsAndEverythingElseIsZero) {
    uint8_t out[kGpsRecordSize];
    std::memset(out, 0xEE, sizeof out);
    gps_record_encode({0x11223344, 48.1173, -11.5166, 545.4}, out);
    EXPECT_EQ(0x11223344u, get_host32(out));
    double lat, lon;
    std::memcpy(&lat, out + 8, 8);
    std::memcpy(&lon, out + 16, 8);
    EXPECT_EQ(48.1173, lat);
    EXPECT_EQ(-11.5166, lon);
    EXPECT_EQ(545, static_cast<int32_t>(get_host32(out + 24)));
    for (size_t i : {4, 5, 6, 7})
        EXPECT_EQ(0, out[i]) << i;
    for (size_t i = 28; i < kGpsRecordSize; ++i)
        EXPECT_EQ(0, out[i]) << i;
}

TEST(GpsRecord, AltitudeIsTruncatedTowardZeroAndNonsenseSaysNothing) {
    struct {
        double metres;
        int32_t field;
    } const kCases[] = {
        {545.4, 545},
        {-12.9, -12},
        {0.99, 0},
        {2147483647.0, 2147483647},
        {-2147483648.0, INT32_MIN},
        {2147483648.0, 0},
        {-2147483649.0, 0},
        {1e12, 0},
        {NAN, 0},
        {INFINITY, 0},
        {-INFINITY, 0},
    };
    for (const auto &c : kCases)
        EXPECT_EQ(c.field, gps_record_altitude(c.metres)) << c.metres;
}

TEST(GpsRecord, DecodeReadsWhatEncodeWroteAndRefusesAShortRecord) {
    uint8_t buf[kGpsRecordSize];
    gps_record_encode({7, -33.5, 151.25, -400}, buf);
    GpsRecord rec{1, 2, 3, 4};
    ASSERT_TRUE(gps_record_decode(buf, sizeof buf, &rec));
    EXPECT_EQ(7u, rec.time);
    EXPECT_EQ(-33.5, rec.latitude);
    EXPECT_EQ(151.25, rec.longitude);
    EXPECT_EQ(-400.0, rec.altitude);
    GpsRecord untouched{1, 2, 3, 4};
    EXPECT_FALSE(gps_record_decode(buf, kGpsRecordSize - 1, &untouched));
    EXPECT_EQ(1u, untouched.time);
    EXPECT_EQ(4.0, untouched.altitude);
}

}  // namespace
