#include "common/gps_record.h"

#include <cmath>
#include <cstring>

#include "common/bytes.h"

namespace {

constexpr size_t kOffTime = 0;
constexpr size_t kOffLatitude = 8;
constexpr size_t kOffLongitude = 16;
constexpr size_t kOffAltitude = 24;

void put_host_double(uint8_t *p, double v) {
    std::memcpy(p, &v, sizeof v);
}
double get_host_double(const uint8_t *p) {
    double v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

}  // namespace

int32_t gps_record_altitude(double metres) {
    double whole = std::trunc(metres);  // NaN stays NaN and fails both comparisons
    if (whole >= -2147483648.0 && whole <= 2147483647.0) return static_cast<int32_t>(whole);
    return 0;
}

void gps_record_encode(const GpsRecord &rec, uint8_t out[kGpsRecordSize]) {
    std::memset(out, 0, kGpsRecordSize);
    put_host32(out + kOffTime, rec.time);
    put_host_double(out + kOffLatitude, rec.latitude);
    put_host_double(out + kOffLongitude, rec.longitude);
    put_host32(out + kOffAltitude, static_cast<uint32_t>(gps_record_altitude(rec.altitude)));
}

bool gps_record_decode(const uint8_t *data, size_t len, GpsRecord *rec) {
    if (len < kGpsRecordSize) return false;
    rec->time = get_host32(data + kOffTime);
    rec->latitude = get_host_double(data + kOffLatitude);
    rec->longitude = get_host_double(data + kOffLongitude);
    rec->altitude = static_cast<int32_t>(get_host32(data + kOffAltitude));
    return true;
}
