// NMEA position sentences as CDU cards return them. Pure parsing (it prints the sentence and
// the names of the sentences it meets on standard output); any thread.
#pragma once

#include <cstdint>

struct gps_info {
    char time[20];  // the last time field, as text (not terminated when 20 characters long)
    int32_t hour, minute, second, fraction;
    double longitude;  // degrees, negative for W
    double latitude;   // degrees, negative for S
    double dis;        // horizontal dilution of precision (GPGGA)
    double height;     // altitude (GPGGA)
    double velocity;   // speed over ground, km/h (GPRMC knots x 1.852)
    double direction;  // course over ground, degrees (GPRMC)
    int32_t fix;       // GPRMC: 1 for status "A", else 0; GPGGA: fix quality
    int32_t satellites;
    char heightunit;
};

// Parses one sentence into `info`; fields a sentence does not carry (or leaves empty) keep
// their value. GPRMC and GPGGA set the time (only when its text changed), the position and
// their own fields; GPGSV and GPGSA are recognised and store nothing. Returns 0 when `text`
// does not start with "$", else 1.
//
// Positions are ddmm.mmmm (longitude dddmm.mmmm): degrees + minutes / 60, the minutes'
// fraction scaled by the number of its digits, so "4807.038" and "4807.0380" are the same
// place.
[[nodiscard]] int parse_gps_string(const char *text, gps_info *info);

// Degrees from an NMEA position field with `deg_digits` digits of degrees. Returns false
// (and leaves `*deg` alone) when the field has no degrees and whole minutes.
[[nodiscard]] bool nmea_position(const char *field, int deg_digits, double *deg);
