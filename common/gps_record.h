// The GPS position record: the 56-byte data of command 210's reply (common/msgcmd.h), written
// by the CDU and Novatel families of modemd and read by modemctl. Pure computation, any
// thread. Numbers are in the daemon's host order, as in every command reply:
//
//   off  size  field      encoding
//   0    4     time       u32: the position's time stamp as the card gives it; 0 when the
//                         card gives none (the CDU family's NMEA sentence carries none)
//   4    4     -          0
//   8    8     latitude   double, degrees, negative south
//   16   8     longitude  double, degrees, negative west
//   24   4     altitude   i32, metres, truncated toward zero; 0 when not a number or beyond
//                         32 bits
//   28   28    -          0
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr size_t kGpsRecordSize = 56;

struct GpsRecord {
    uint32_t time;
    double latitude;
    double longitude;
    double altitude;  // metres; encoded as the altitude field says
};

// The altitude field for `metres`.
int32_t gps_record_altitude(double metres);

// Writes the whole record, zeros included.
void gps_record_encode(const GpsRecord &rec, uint8_t out[kGpsRecordSize]);

// Reads a record from data[0..len). false (and `*rec` untouched) when len is short of a record.
[[nodiscard]] bool gps_record_decode(const uint8_t *data, size_t len, GpsRecord *rec);
