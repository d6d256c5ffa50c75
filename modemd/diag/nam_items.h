// Typed accessors of the NAM items (number assignment module: the card's phone identity).
// Each reads or writes one NV item for NAM 0 or 1 (another NAM gives 8 before any request);
// the last parameter, when not NULL, receives the card's nv_status when it refuses (26).
// A NULL output gives 8. Any thread but the reader thread.
//
//   item  data used (after byte 0, the NAM index)
//   178   MDN: bytes 1-10, the directory number's digits
//   33    MIN2: u16 at bytes 3-4          32   MIN1: u32 at bytes 5-8
//   259   20 home SID/NID pairs: u16 SID at 1 + 4i, u16 NID at 3 + 4i
//   10    preferred mode, u16 at 1-2      442  roaming preference, u16 at 1-2
//   258   system preference, u16 at 1-2   37   ACCOLC, byte 2
//   176   MCC, one MIN group at 1-2       177  MNC (IMSI 11-12), byte 1: code/10, code%10
//   20    primary CDMA channels A, B      21   secondary CDMA channels A, B (u16 at 1, 3)
//   34    home SID registration flag      35   foreign SID registration flag (byte 2)
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr size_t kNamMdnDigits = 10;
inline constexpr size_t kNamMinDigits = 10;
inline constexpr int kNamSidNidPairs = 20;

// MDN: 10 bytes into out (13 when out_len is below 10; NUL added when out_len leaves room).
[[nodiscard]] int nam_directory_number_read(int nam, char *out, size_t out_len, uint16_t *err);
// Writes at most 10 bytes of in (len of them), zero-padded.
[[nodiscard]] int nam_directory_number_write(int nam, const char *in, size_t len, uint16_t *err);

// MIN: out[0..2] the MIN2 digits, out[3..9] the MIN1 digits (13 when out_len is below 10; NUL
// added when there is room). 13 when the first read fails in transport, 1 when the second is
// refused, 11 when the card's values are no valid code.
[[nodiscard]] int nam_min1_min2_read(int nam, char *out, size_t out_len, uint16_t *err);
// Ten digits (spaces count as '0'; anything else gives 8 before any request; `in` is not
// changed). Each item is read for this NAM, its MIN part replaced, and written back.
[[nodiscard]] int nam_min1_min2_write(int nam, const char *in, size_t len, uint16_t *err);

// Pair i into sids[i] while i < sid_count, nids[i] while i < nid_count (arrays optional).
[[nodiscard]] int nam_home_sid_nid_read(int nam, uint16_t *sids, int sid_count, uint16_t *nids,
                                        int nid_count, uint16_t *err);
// All 20 pairs from sids and nids (each optional: zeros without).
[[nodiscard]] int nam_home_sid_nid_write(int nam, const uint16_t *sids, const uint16_t *nids,
                                         uint16_t *err);

[[nodiscard]] int nam_pref_mode_get(int nam, uint16_t *out, uint16_t *err);
[[nodiscard]] int nam_pref_mode_set(int nam, uint16_t value, uint16_t *err);
[[nodiscard]] int nam_roam_pref_get(int nam, uint16_t *out, uint16_t *err);
[[nodiscard]] int nam_roam_pref_set(int nam, uint16_t value, uint16_t *err);
[[nodiscard]] int nam_system_pref_get(int nam, uint16_t *out, uint16_t *err);

// Text readers: out zeroed (len bytes), then the text and a NUL; 13 when it does not fit.
[[nodiscard]] int nam_accolc_read(int nam, char *out, size_t len, uint16_t *err);
[[nodiscard]] int nam_mcc_read(int nam, char *out, size_t len, uint16_t *err);    // 11: code > 999
[[nodiscard]] int nam_11_12_read(int nam, char *out, size_t len, uint16_t *err);  // 11: > 99

[[nodiscard]] int nam_pcdmach_read(int nam, uint16_t *a_out, uint16_t *b_out, uint16_t *err);
[[nodiscard]] int nam_scdmach_read(int nam, uint16_t *a_out, uint16_t *b_out, uint16_t *err);
[[nodiscard]] int nam_hsid_flag_get(int nam, uint8_t *out, uint16_t *err);
[[nodiscard]] int nam_fsid_flag_get(int nam, uint8_t *out, uint16_t *err);

// out = 1 when both the MDN and the MIN are longer than 5 characters and neither begins with
// six '0'; else 0. Any failure of either read is returned.
[[nodiscard]] int IsDeviceActivated(int nam, uint8_t *out);
