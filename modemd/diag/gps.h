// The card's GPS engine, driven with DIAG subsystem 0x0D requests (one transaction each,
// 5-second wait), and the conversion of its raw position record. Any thread but the reader.
//
// Request header: 0x4B, 0x0D, u16 GPS command; the answer repeats these four bytes.
//   command  operation                     after the header             sent  answer used
//   0        DiagStartGPS                  44-byte session block        48    u32 at 4
//   1        DiagGPSEndCmd                 u32 0, u32 0                 12    u32 at 8
//   3        DiagConfigureGPS              u32 item, u32 value, u32 0   16    u32 at 4, 8
//   4        DiagGPSGetLastKnownPosition   u32 0                        8     bytes 4-35
#pragma once

#include <cstdint>

inline constexpr uint8_t kGpsSubsys = 0x0D;

// Session parameter block (44 bytes, little-endian on the wire), sent as it stands by
// DiagStartGPS. DiagPrepareDefaultGpsSessionStartPacket gives the values the card expects;
// the fields have no meaning to the router beyond the two session values.
struct gps_session_block {
    uint8_t byte0;   // 4
    uint8_t byte1;   // 1
    uint8_t byte2;   // 0
    uint8_t byte3;   // 1
    uint16_t word4;  // 0
    uint8_t byte6;   // 0
    uint8_t byte7;   // 16
    uint32_t dword8, dword12, dword16;
    uint32_t session_value_1;
    uint32_t session_value_2;
    uint8_t byte28, byte29, byte30, byte31;
    uint32_t dword32, dword36, dword40;
};
static_assert(sizeof(gps_session_block) == 44, "the session block is 44 bytes");

// Taken by StartGPSStream.
struct gps_stream_record {
    uint16_t field0;      // not examined (the daemon sets 1)
    char port_path[256];  // must not be empty
    uint16_t field258;    // not examined (the daemon sets 1)
    uint32_t session_value_1;
    uint32_t session_value_2;
};
static_assert(sizeof(gps_stream_record) == 268, "the stream record is 268 bytes");

// The card's raw position record, from answer bytes 4-35.
struct gps_raw_position {
    int32_t latitude;    // units of 180/2^25 degree
    int32_t longitude;   // units of 180/2^25 degree
    uint32_t timestamp;  // passed through
    uint8_t angle;       // uncertainty ellipse axis, units of 5.625 degree
    uint8_t along_code;  // along-axis uncertainty code
    uint8_t perpendicular_code;
    uint8_t vertical_present;   // 1 when vertical velocity is present
    uint32_t mask;              // bit 0 altitude present, bit 1 velocity present
    uint16_t altitude;          // metres plus 500
    uint16_t heading;           // units of 360/2^10 degree
    uint16_t horizontal_speed;  // units of 0.25 m/s
    int8_t vertical_speed;      // units of 0.5 m/s
    uint8_t vertical_code;      // vertical uncertainty code
    uint32_t reserved;          // passed through, not used
};

inline constexpr uint32_t kGpsMaskAltitude = 1u << 0;
inline constexpr uint32_t kGpsMaskVelocity = 1u << 1;

// A position in engineering units (80 bytes); fields not given by the mask stay 0.
struct gps_fix {
    uint32_t timestamp;
    int32_t altitude;                  // metres
    double latitude;                   // degrees
    double longitude;                  // degrees
    double horizontal_speed;           // m/s
    double vertical_speed;             // m/s
    double heading;                    // degrees
    double uncertainty_angle;          // degrees
    double uncertainty_along;          // metres; -1.0 when not computable
    double uncertainty_perpendicular;  // metres; -1.0 when not computable
    double uncertainty_vertical;       // metres; -1.0 when not computable
};
static_assert(sizeof(gps_fix) == 80, "the position fix is 80 bytes");

// Fills `block` (zeroed first) with the card's default session values. 8 when block is NULL.
[[nodiscard]] int DiagPrepareDefaultGpsSessionStartPacket(gps_session_block *block,
                                                          uint32_t session_value_1,
                                                          uint32_t session_value_2);

// `pair` is {item 0-5, value}, sent unchanged. 8 for a NULL pair; a transaction status; else
// by the card's status word: 0 gives 0 (its result word into *result_out when given), 1 gives
// 42, 2 gives 3, any other 0 without storing.
[[nodiscard]] int DiagConfigureGPS(const uint32_t pair[2], uint32_t *result_out);

// Starts a session with `block`; the card's answer word into *result_out when given.
[[nodiscard]] int DiagStartGPS(const gps_session_block *block, uint32_t *result_out);

// Ends the session; the card's answer word into *result_out when given.
[[nodiscard]] int DiagGPSEndCmd(uint32_t *result_out);

// The card's last known position. 8 when raw_out is NULL.
[[nodiscard]] int DiagGPSGetLastKnownPosition(gps_raw_position *raw_out);

// Converts `raw` into *fix_out (zeroed first). 1 when either pointer is NULL, else 0.
[[nodiscard]] int GetStdGPSFix(gps_fix *fix_out, const gps_raw_position *raw);

// Starts the position stream with the record's session values. 207 NULL record, 500 empty
// path (nothing sent), 0 started, 210 refused by the card (bad command or parameters), 204
// any other failure.
[[nodiscard]] int StartGPSStream(const gps_stream_record *stream_record);

// Sends a start with both session values 0, then the end command. 0, 210 when the start is
// refused by the card, 204 other failures (the end command is sent only after a good start).
[[nodiscard]] int EndGPSStream();

// Asks the card for its last known position, every time. 201 engine not started, 207 NULL
// fix_out, 210 refused by the card, 204 other request failures, 214 conversion failed, 0.
[[nodiscard]] int GetLastPositionFix(gps_fix *fix_out);
