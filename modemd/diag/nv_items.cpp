#include "modemd/diag/nv_items.h"

#include <cstring>

#include "common/bytes.h"
#include "modemd/diag/diag_nv.h"
#include "modemd/diag/diag_status.h"

namespace {

constexpr uint16_t kItemLocked = 81;
constexpr uint16_t kItemLockCode = 82;
constexpr uint16_t kItemPrimaryDns = 423;
constexpr uint16_t kItemSecondaryDns = 424;
constexpr uint16_t kItemDialString = 298;
constexpr uint16_t kItemMdrMode = 297;
constexpr uint16_t kItemScrm = 429;
constexpr uint16_t kItemMipPref = 459;
constexpr uint16_t kItemMipRrqTime = 462;
constexpr uint16_t kItemMipActiveProfile = 464;
constexpr uint16_t kItemMipUserProfile = 465;
constexpr uint16_t kItemMipSharedSecret = 466;
constexpr uint16_t kItemHdrAmpAddress = 474;
constexpr uint16_t kItemFid = 2002;
constexpr uint16_t kItemAutoinstall = 10026;
constexpr uint16_t kItemMassStorage = 10027;
constexpr uint16_t kItemAutoinstallTimeout = 10032;

constexpr uint8_t kMaxMipProfile = 5;
constexpr uint8_t kMaxNaiLength = 72;
constexpr uint8_t kMaxSecretLength = 16;
constexpr uint8_t kMaxDialString = 127;

int read_byte0(uint16_t item, uint8_t *out, uint16_t *err) {
    if (!out) return kDiagNullArgument;
    diag_nv_record r;
    int status = diag_nv_read_item(item, -1, &r, err);
    if (status == kDiagOk) *out = r.item_data[0];
    return status;
}

int write_bytes(uint16_t item, const uint8_t *data, size_t len, uint16_t *err) {
    diag_nv_record r{};
    r.item = item;
    std::memcpy(r.item_data, data, len);
    return diag_nv_write_record(&r, err);
}

int write_byte0(uint16_t item, uint8_t value, uint16_t *err) {
    return write_bytes(item, &value, 1, err);
}

int read_u32(uint16_t item, uint32_t *out, uint16_t *err) {
    if (!out) return kDiagNullArgument;
    diag_nv_record r;
    int status = diag_nv_read_item(item, -1, &r, err);
    if (status == kDiagOk) *out = get_le32(r.item_data);
    return status;
}

// Copies `len` item bytes into out and adds a NUL when out_len leaves room; 13 when out_len
// is below len.
int read_text(uint16_t item, size_t len, char *out, size_t out_len, uint16_t *err) {
    if (!out) return kDiagNullArgument;
    if (out_len < len) return kDiagNoRoom;
    diag_nv_record r;
    int status = diag_nv_read_item(item, -1, &r, err);
    if (status != kDiagOk) return status;
    std::memcpy(out, r.item_data, len);
    if (out_len > len) out[len] = '\0';
    return kDiagOk;
}

int read_flag(uint16_t item, uint8_t *out, uint16_t *err) {
    int status = read_byte0(item, out, err);
    if (status == kDiagOk) *out = *out ? 1 : 0;
    return status;
}

}  // namespace

int IsDeviceLocked(uint8_t *out, uint16_t *err) {
    return read_byte0(kItemLocked, out, err);
}

int lock_code_get(char *out, size_t out_len, uint16_t *err) {
    return read_text(kItemLockCode, kLockCodeSize, out, out_len, err);
}

int change_lock_code(const char *new_code, size_t len, uint8_t *ok_out) {
    if (!new_code || !ok_out || len < kLockCodeSize) return kDiagNullArgument;
    *ok_out = 0;
    int status = write_bytes(kItemLockCode, reinterpret_cast<const uint8_t *>(new_code),
                             kLockCodeSize, nullptr);
    if (status == kDiagOk) *ok_out = 1;
    return status;
}

int primary_dns_get(uint32_t *out, uint16_t *err) {
    return read_u32(kItemPrimaryDns, out, err);
}

int secondary_dns_get(uint32_t *out, uint16_t *err) {
    return read_u32(kItemSecondaryDns, out, err);
}

int nv_dial_string_take(const uint8_t *item_data, char *out, size_t out_len) {
    uint8_t n = item_data[0];
    if (n > kMaxDialString) return kDiagMismatch;  // the text would run past the item
    if (out_len <= n) return kDiagNoRoom;
    std::memcpy(out, item_data + 1, n);
    out[n] = '\0';
    return kDiagOk;
}

int pkt_orig_string_read(char *out, size_t out_len, uint16_t *err) {
    if (!out) return kDiagNullArgument;
    diag_nv_record r;
    int status = diag_nv_read_item(kItemDialString, -1, &r, err);
    if (status != kDiagOk) return status;
    return nv_dial_string_take(r.item_data, out, out_len);
}

int get_mdr_mode(uint8_t *out, uint16_t *err) {
    return read_byte0(kItemMdrMode, out, err);
}

int get_scrm_enabling_flag(uint8_t *out, uint16_t *err) {
    return read_byte0(kItemScrm, out, err);
}

int mip_qcmip_read(uint8_t *out, uint16_t *err) {
    return read_byte0(kItemMipPref, out, err);
}

int GetMIPPref(uint8_t *out, uint16_t *err) {
    return read_byte0(kItemMipPref, out, err);
}

int SetMIPPref(uint8_t value, uint16_t *err) {
    return write_byte0(kItemMipPref, value, err);
}

int read_mip_pre_re_rrq_time(uint8_t *out, uint16_t *err) {
    return read_byte0(kItemMipRrqTime, out, err);
}

int mip_active_prof_write(uint8_t index, uint16_t *err) {
    return write_byte0(kItemMipActiveProfile, index, err);
}

int mip_gen_user_prof_read(uint8_t *profile, uint16_t *err) {
    if (!profile || profile[0] > kMaxMipProfile) return kDiagNullArgument;
    diag_nv_record r{};
    r.item = kItemMipUserProfile;
    r.item_data[0] = profile[0];
    int status = Diag_NV_Read(&r);
    if (status != kDiagOk) return status;
    if (r.nv_status != 0) {
        if (err) *err = r.nv_status;
        return kDiagNvRefused;
    }
    std::memcpy(profile, r.item_data, kMipUserProfileSize);
    return kDiagOk;
}

int mip_gen_user_prof_write(const uint8_t *profile, uint16_t *err) {
    if (!profile || profile[0] > kMaxMipProfile || profile[1] > kMaxNaiLength)
        return kDiagNullArgument;
    return write_bytes(kItemMipUserProfile, profile, kMipUserProfileSize, err);
}

int mip_ss_user_prof_write(const uint8_t *profile, uint16_t *err) {
    if (!profile || profile[0] > kMaxMipProfile || profile[1] > kMaxSecretLength ||
        profile[18] > kMaxSecretLength)
        return kDiagNullArgument;
    return write_bytes(kItemMipSharedSecret, profile, kMipSharedSecretSize, err);
}

int get_hdramp_address_data(uint8_t *out43, uint16_t *err) {
    if (!out43) return kDiagNullArgument;
    diag_nv_record r;
    int status = diag_nv_read_item(kItemHdrAmpAddress, -1, &r, err);
    if (status == kDiagOk) std::memcpy(out43, r.item_data, kHdrAmpAddressSize);
    return status;
}

int ReadFID(char *out, size_t out_len, uint16_t *err) {
    return read_text(kItemFid, kFidSize, out, out_len, err);
}

int diag_autoinstall_enable_get(uint8_t *out, uint16_t *err) {
    return read_flag(kItemAutoinstall, out, err);
}

int diag_autoinstall_enable_set(uint8_t value, uint16_t *err) {
    return write_byte0(kItemAutoinstall, value, err);
}

int diag_mass_storage_enable_flag_get(uint8_t *out, uint16_t *err) {
    return read_flag(kItemMassStorage, out, err);
}

int diag_mass_storage_enable_flag_set(uint8_t value, uint16_t *err) {
    return write_byte0(kItemMassStorage, value ? 1 : 0, err);
}

int diag_autoinstall_disable_timeout_get(uint8_t *out, uint16_t *err) {
    return read_byte0(kItemAutoinstallTimeout, out, err);
}

int diag_autoinstall_disable_timeout_set(uint8_t value, uint16_t *err) {
    return write_byte0(kItemAutoinstallTimeout, value, err);
}
