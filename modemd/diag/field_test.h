// Field-test reporting: while on, a thread publishes once a second (event type 7) a table of
// 62 labelled values read from the card. Any thread but the reader thread.
//
// The value texts (row: source, format; "-" where the card gave nothing or there is no source):
//   0 Warranty Date           -                      (no source on these cards)
//   1 Slot Cycle Index        version payload byte 51, "%d"
//   2 Current NAM             version payload byte 52, "%d"
//   3 Auto NAM                "1"
//   4 SPC Change Enabled      version payload byte 53, "%d"
//   5 NAM Name                device information text, bytes 0-23 (to a NUL)
//   6 Directory Number        NV 178 (NAM 0), the ten digits
//   7 Access Overload Class   NV 37, "%d";   8 MCC NV 176 "%03d";   9 MNC NV 177 "%02d"
//   10-13 Channels            NV 20 / 21 (NAM 0), "%d"
//   14 Home SID Table         NV 259: "[%d] %d" for each pair whose SID is nonzero, spaced
//   15-16 Reg Home/Foreign    NV 34 / 35, "%d"
//   17 System Preferred Mode  NV 258, "%d";   18 PRL Version  vendor command 12, "%d"
//   19-20 DNS                 NV 423 / 424, "%d.%d.%d.%d", most significant byte first
//   21 Packet Dial String     NV 298 text
//   22 MDR Mode, 23 Data SCRM NV 297 / 429, "%d"
//   24-28 Mobile IP profile 0 (NV 465): 24 HA SPI u32 at 87 "%u"; 25 reverse tunneling byte
//                             74 "%d"; 26-28 home, primary HA, secondary HA addresses at 75,
//                             79, 83, "%d.%d.%d.%d"
//   29 MIP Behaviour          NV 459, "%d"
//   30-31 Pre-registration    NV 462 bytes 0 and 1, "%d"
//   32 DMU Key Exchange       -
//   33 NID                    status payload u16 at 20, "%d"
//   34 FER                    FER payload: "FCH:%d - " (u16 at 0), then "SCH%d:%d%%\t" for
//                             SCH 0 and 1 (u16 at 2 and 4)
//   35 RSSI, 40 Tx Power, 41 Rx Power   TA graph bytes 0, 1, 2 (signed), "%d dBm"
//   36 EC_IO, 38 Latitude, 39 Longitude -
//   37 Channel                status payload u16 at 22, "%d"
//   42 Band Class, 43 P Rev, 44 Packet Zone ID   new snapshot bytes 12, 13, 14, "%d"
//   45 Last Call Error, 46 Service Options In Use   -
//   47 Call State             new snapshot byte 42: 0 IDLE, 1 CONNECTING, 2 AUTHENTICATING,
//                             3 CONNECTED, 4 DORMANT, 5 DISCONNECTING, else UNKNOWNN
//   48 Dormant State          new snapshot byte 41, "%d"
//   49-52 HDR (NV 474)        49 MAC index byte 0, 50 subnet mask byte 1, 51 color code byte
//                             2 ("%d"); 52 UATI024 bytes 3-5, "%02x%02x%02x"
//   53-61 Finger, active and candidate sets   -
#pragma once

#include <cstddef>
#include <cstdint>

#include "modemd/diag/diag_events.h"

inline constexpr int kFieldTestRows = 62;
inline constexpr size_t kFieldTestText = 256;
inline constexpr int kFieldTestAlreadyOn = 37;
inline constexpr int kFieldTestAlreadyOff = 38;
inline constexpr uint16_t kDiagEventFieldTest = 7;

extern const char *const pFieldEntries[kFieldTestRows];

typedef char field_test_text[kFieldTestText];

// The event data of type 7 (event_data points to it; event_value holds its address too, which
// on the board is the whole pointer). Valid only during the handler call.
struct diag_field_test_data {
    uint32_t rows;  // 62
    field_test_text *labels;
    field_test_text *values;
};

// 37 when already on and asked on, 38 when already off and asked off. On: starts the thread
// (1 when it cannot). Off: clears the flag, wakes the thread and joins it.
[[nodiscard]] int EnableFieldTesting(int on);
// The 62 labels, and "-" for every value.
void InitFieldTestEntries(field_test_text *labels, field_test_text *values);
// Reads the card and fills the value table of the record's event data (each value "-" first).
void FillInFieldTestData(const diag_event *record);
