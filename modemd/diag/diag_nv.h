// NV items: the two generic item requests and the helpers the typed accessors are built on.
// Each call is one request transaction (7-second wait). Any thread but the reader thread.
//
// Request and response (133 bytes, little-endian):
//   off  size  field
//   0    1     0x26 read, 0x27 write
//   1    2     item number
//   3    128   item data (for NAM items byte 0 is the NAM index, 0 or 1)
//   131  2     nv_status: 0 done; anything else the card refused the item
// The response must repeat the command and be exactly 133 bytes; its record is the card's.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr size_t kDiagNvDataSize = 128;
inline constexpr size_t kDiagNvRecordSize = 132;  // item, data, nv_status

struct diag_nv_record {
    uint16_t item;
    uint8_t item_data[kDiagNvDataSize];
    uint16_t nv_status;
};

// 8 for a NULL record; otherwise the transaction's status, with the card's record copied over
// *record on 0 (its nv_status may be nonzero: the caller looks).
[[nodiscard]] int Diag_NV_Read(diag_nv_record *record);
[[nodiscard]] int Diag_NV_Write(diag_nv_record *record);

// Takes the card's answer r[0..len) to `command` (0x26 or 0x27) into *record: 11 unless it
// repeats the command and is exactly 133 bytes (then *record is untouched).
[[nodiscard]] int diag_nv_take_response(uint8_t command, const uint8_t *r, size_t len,
                                        diag_nv_record *record);

// The accessors' common steps. nam < 0: no NAM index (data byte 0 is the caller's).
// diag_nv_read_item zeroes *record, sets item (and byte 0 = nam) and reads; a nonzero
// transport status comes back unchanged; a nonzero nv_status gives 26, stored into *nv_err
// when nv_err is not NULL.
[[nodiscard]] int diag_nv_read_item(uint16_t item, int nam, diag_nv_record *record,
                                    uint16_t *nv_err);
// Writes *record as it stands (item and data set by the caller), same statuses.
[[nodiscard]] int diag_nv_write_record(diag_nv_record *record, uint16_t *nv_err);

// True for the NAM indexes the card keeps (0 and 1).
inline bool diag_nam_valid(int nam) {
    return nam == 0 || nam == 1;
}
