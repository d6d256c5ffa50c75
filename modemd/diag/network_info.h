// GetNetworkInfo: one summary of the card's service and signal, built from the call-manager
// and HDR state, the new snapshot, the TA graph, the RSSI, the NAM 0 channels and the status.
// Any thread but the reader thread.
//
// network_info record (40 bytes, every field written byte by byte, little-endian):
//   off  size  field
//   0    4     service: 0 none, 1, 2, 3, 5 or 6 (EV-DO)
//   4    2     level_1x: 0-31           6    2  dbm_1x: -dBm, 75-125
//   8    2     level_evdo: 0-31         10   2  dbm_evdo: -dBm, 75-125
//   12   4     roam: 0, 1, 2, or 3 for anything larger
//   16   1     snapshot_flag            17   1  hybrid
//   18   1     (unused)                 19   1  evdo_state: 1 or 2 in EV-DO service, else 0
//   20   4     primary channel A        24   4  primary channel B      (NV item 20, NAM 0)
//   28   4     secondary channel A      32   4  secondary channel B    (NV item 21, NAM 0)
//   36   4     status_word: bytes 33-34 of the status payload
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr size_t kNetworkInfoSize = 40;

// 8 for a NULL record. A failed CM state read returns its status with the record untouched; a
// failed snapshot read returns the snapshot's status. Otherwise 0.
[[nodiscard]] int GetNetworkInfo(uint8_t *record);

// The steps of GetNetworkInfo that only look at the card's answers, for tests and fuzzing.
// network_service_class: 1 when the CM state (40 bytes) shows service, with the class (1-5)
// in *service_class (class 0 with the HDR state, 9 bytes or NULL, in EV-DO counts as 4).
int network_service_class(const uint8_t *cm, const uint8_t *hdr_or_null, uint32_t *service_class);
// Fills service, signals, roam and flags from the HDR state (NULL: its read failed), the new
// snapshot (43 bytes), the TA graph (12 bytes or NULL) and the RSSI (8 bytes or NULL). The
// service field keeps its value where the class and snapshot leave it.
void network_info_compose(uint32_t service_class, const uint8_t *hdr_or_null, const uint8_t *snap,
                          const uint8_t *ta_or_null, const uint8_t *rssi_or_null, uint8_t *record);

// The record read back into fields (for tools and tests).
struct network_info_fields {
    uint32_t service, roam;
    uint16_t level_1x, dbm_1x, level_evdo, dbm_evdo;
    uint8_t snapshot_flag, hybrid, evdo_state;
    uint32_t primary_a, primary_b, secondary_a, secondary_b, status_word;
};
network_info_fields network_info_decode(const uint8_t *record);

// The 1x signal from the TA graph's first byte r (signed): v = truncate(r / 3 - 63.248); when
// v is negative, dbm = -v clamped to 75-125 and level = (125 - dbm) * 31 / 50. False (nothing
// changed) when v is not negative.
bool network_1x_from_ta_graph(int8_t r, uint16_t *level, uint16_t *dbm);
