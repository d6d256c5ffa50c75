// Conversion of the card's raw position record into engineering units.
#include <cstring>

#include "modemd/diag/diag_status.h"
#include "modemd/diag/gps.h"

namespace {

constexpr double kDegreesPerUnit = 180.0 / (1 << 25);  // latitude and longitude
constexpr double kHeadingPerUnit = 360.0 / 1024;
constexpr double kAnglePerUnit = 5.625;
constexpr double kHorizontalSpeedPerUnit = 0.25;
constexpr double kVerticalSpeedPerUnit = 0.5;
constexpr int kAltitudeOffset = 500;
constexpr int kNullArgument = 1;  // this conversion reports a missing pointer as 1

// The position uncertainty of IS-801, in metres, by code; codes from 30 on cannot be computed.
constexpr double kUncertainty[30] = {
    0.5, 0.75, 1,   1.5, 2,   3,   4,   6,    8,    12,   16,   24,   32,   48,   64,
    96,  128,  192, 256, 384, 512, 768, 1024, 1536, 2048, 3072, 4096, 6144, 8192, 12288,
};

double uncertainty(uint8_t code) {
    return code < sizeof kUncertainty / sizeof kUncertainty[0] ? kUncertainty[code] : -1.0;
}

}  // namespace

int GetStdGPSFix(gps_fix *fix_out, const gps_raw_position *raw) {
    if (!fix_out || !raw) return kNullArgument;
    gps_fix fix{};
    fix.timestamp = raw->timestamp;
    fix.latitude = raw->latitude * kDegreesPerUnit;
    fix.longitude = raw->longitude * kDegreesPerUnit;
    if (raw->mask & kGpsMaskAltitude)
        fix.altitude = static_cast<int32_t>(raw->altitude) - kAltitudeOffset;
    if (raw->mask & kGpsMaskVelocity) {
        fix.horizontal_speed = raw->horizontal_speed * kHorizontalSpeedPerUnit;
        fix.heading = raw->heading * kHeadingPerUnit;
        if (raw->vertical_present == 1)
            fix.vertical_speed = raw->vertical_speed * kVerticalSpeedPerUnit;
    }
    fix.uncertainty_angle = raw->angle * kAnglePerUnit;
    fix.uncertainty_along = uncertainty(raw->along_code);
    fix.uncertainty_perpendicular = uncertainty(raw->perpendicular_code);
    fix.uncertainty_vertical = uncertainty(raw->vertical_code);
    *fix_out = fix;
    return kDiagOk;
}
