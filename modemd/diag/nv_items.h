// Typed accessors of the card's other NV items (lock, DNS, packet data, Mobile IP, vendor
// flags). Same rules as the NAM accessors (nam_items.h) without a NAM index: the last
// parameter, when not NULL, receives the card's nv_status when it refuses (26); a NULL output
// gives 8. Any thread but the reader thread.
//
//   item   data                    item   data
//   81     locked flag, byte 0     82     lock code, bytes 0-3
//   423    primary DNS, u32        424    secondary DNS, u32
//   298    dial string: byte 0 length n (at most 127), text from byte 1
//   297    MDR mode, byte 0        429    SCRM enabling flag, byte 0
//   459    Mobile IP preference    462    pre-registration RRQ time, byte 0
//   464    active MIP profile      465    MIP user profile, 97 bytes (byte 0 index 0-5,
//                                         byte 1 NAI length at most 72)
//   466    MIP shared secrets, 35 bytes (byte 0 index, bytes 1 and 18 lengths at most 16)
//   474    HDR AMP address data, 43 bytes
//   2002   FID, bytes 0-14         10026  autoinstall, byte 0 (0 or 1)
//   10027  mass storage, byte 0    10032  autoinstall disable time-out, byte 0
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr size_t kMipUserProfileSize = 97;
inline constexpr size_t kMipSharedSecretSize = 35;
inline constexpr size_t kHdrAmpAddressSize = 43;
inline constexpr size_t kFidSize = 15;
inline constexpr size_t kLockCodeSize = 4;

[[nodiscard]] int IsDeviceLocked(uint8_t *out, uint16_t *err);
// The four code bytes (13 when out_len is below 4; NUL added when there is room).
[[nodiscard]] int lock_code_get(char *out, size_t out_len, uint16_t *err);
// Writes the first four bytes of new_code (8 when len is below 4). ok_out = 1 when the card
// took it, else 0 with status 26.
[[nodiscard]] int change_lock_code(const char *new_code, size_t len, uint8_t *ok_out);

[[nodiscard]] int primary_dns_get(uint32_t *out, uint16_t *err);
[[nodiscard]] int secondary_dns_get(uint32_t *out, uint16_t *err);

// The dial string: 11 when the card's length byte exceeds 127; 13 when out_len <= n; else the
// n bytes and a NUL.
[[nodiscard]] int pkt_orig_string_read(char *out, size_t out_len, uint16_t *err);
// Its check on the item's 128 data bytes alone.
[[nodiscard]] int nv_dial_string_take(const uint8_t *item_data, char *out, size_t out_len);

[[nodiscard]] int get_mdr_mode(uint8_t *out, uint16_t *err);
[[nodiscard]] int get_scrm_enabling_flag(uint8_t *out, uint16_t *err);
[[nodiscard]] int mip_qcmip_read(uint8_t *out, uint16_t *err);
[[nodiscard]] int GetMIPPref(uint8_t *out, uint16_t *err);
[[nodiscard]] int SetMIPPref(uint8_t value, uint16_t *err);
[[nodiscard]] int read_mip_pre_re_rrq_time(uint8_t *out, uint16_t *err);
[[nodiscard]] int mip_active_prof_write(uint8_t index, uint16_t *err);

// profile: kMipUserProfileSize bytes; byte 0 selects the profile (0-5, else 8), and the card's
// 97 bytes are copied back over it.
[[nodiscard]] int mip_gen_user_prof_read(uint8_t *profile, uint16_t *err);
// 8 when byte 0 exceeds 5 or byte 1 (NAI length) exceeds 72.
[[nodiscard]] int mip_gen_user_prof_write(const uint8_t *profile, uint16_t *err);
// kMipSharedSecretSize bytes; 8 when byte 0 exceeds 5 or byte 1 or byte 18 exceeds 16.
[[nodiscard]] int mip_ss_user_prof_write(const uint8_t *profile, uint16_t *err);

[[nodiscard]] int get_hdramp_address_data(uint8_t *out43, uint16_t *err);
// Up to 15 characters (13 when out_len is below 15; NUL added when there is room).
[[nodiscard]] int ReadFID(char *out, size_t out_len, uint16_t *err);

[[nodiscard]] int diag_autoinstall_enable_get(uint8_t *out, uint16_t *err);  // 0 or 1
[[nodiscard]] int diag_autoinstall_enable_set(uint8_t value, uint16_t *err);
[[nodiscard]] int diag_mass_storage_enable_flag_get(uint8_t *out, uint16_t *err);   // 0 or 1
[[nodiscard]] int diag_mass_storage_enable_flag_set(uint8_t value, uint16_t *err);  // 0 or 1
[[nodiscard]] int diag_autoinstall_disable_timeout_get(uint8_t *out, uint16_t *err);
[[nodiscard]] int diag_autoinstall_disable_timeout_set(uint8_t value, uint16_t *err);
