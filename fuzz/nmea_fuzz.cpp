// The NMEA sentences of CDU cards (modemd/nmea.h). Whatever the card sends: a text without
// "$" and a sentence other than GPRMC or GPGGA change nothing; a position field gives a finite
// value within its digits' range, or none; adding a trailing zero to a position's minutes
// fraction does not move it; the time text is zero-filled after its end.
#include <cmath>
#include <cstring>
#include <string>

#include "fuzz/fuzz_support.h"
#include "modemd/nmea.h"

namespace {

void check_position(const std::string &field, int deg_digits) {
    double deg = -12345.0;
    if (!nmea_position(field.c_str(), deg_digits, &deg)) {
        FUZZ_CHECK(deg == -12345.0);
        return;
    }
    FUZZ_CHECK(std::isfinite(deg) && deg >= 0.0 && deg < std::pow(10.0, deg_digits) + 2.0);
    // "4807.038" and "4807.0380" are the same place.
    size_t dot = static_cast<size_t>(deg_digits) + 2;
    if (field.size() > dot && field[dot] == '.') {
        size_t end = dot + 1;
        while (end < field.size() && field[end] >= '0' && field[end] <= '9')
            ++end;
        if (end - dot - 1 < 9) {
            std::string longer = field.substr(0, end) + "0" + field.substr(end);
            double again = -1.0;
            FUZZ_CHECK(nmea_position(longer.c_str(), deg_digits, &again));
            FUZZ_CHECK(std::fabs(again - deg) < 1e-9);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz_init();
    std::string text;
    for (size_t i = 0; i < size; ++i)
        if (data[i] != 0) text.push_back(static_cast<char>(data[i]));

    gps_info info;
    memset(&info, 0x5A, sizeof info);
    gps_info before = info;
    int r = parse_gps_string(text.c_str(), &info);
    FUZZ_CHECK(r == (text[0] == '$' ? 1 : 0));
    bool stores = text.rfind("$GPRMC", 0) == 0 || text.rfind("$GPGGA", 0) == 0;
    if (!stores) FUZZ_CHECK(memcmp(&info, &before, sizeof info) == 0);
    if (memcmp(info.time, before.time, sizeof info.time) != 0) {
        const char *end = static_cast<const char *>(memchr(info.time, 0, sizeof info.time));
        for (const char *p = end; p && p < info.time + sizeof info.time; ++p)
            FUZZ_CHECK(*p == 0);
    }

    // Every comma field, as a latitude and as a longitude.
    size_t start = 0;
    for (int fields = 0; fields < 16 && start <= text.size(); ++fields) {
        size_t comma = text.find(',', start);
        std::string field = text.substr(start, comma == std::string::npos ? comma : comma - start);
        check_position(field, 2);
        check_position(field, 3);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return 0;
}
