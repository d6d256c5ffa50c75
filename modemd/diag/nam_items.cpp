#include "modemd/diag/nam_items.h"

#include <cstdio>
#include <cstring>

#include "common/bytes.h"
#include "modemd/diag/diag_nv.h"
#include "modemd/diag/diag_status.h"
#include "modemd/diag/nam_min_code.h"

namespace {

constexpr uint16_t kItemMdn = 178;
constexpr uint16_t kItemMin2 = 33;
constexpr uint16_t kItemMin1 = 32;
constexpr uint16_t kItemSidNid = 259;
constexpr uint16_t kItemPrefMode = 10;
constexpr uint16_t kItemRoamPref = 442;
constexpr uint16_t kItemSystemPref = 258;
constexpr uint16_t kItemAccolc = 37;
constexpr uint16_t kItemMcc = 176;
constexpr uint16_t kItemMnc = 177;
constexpr uint16_t kItemPrimaryChannels = 20;
constexpr uint16_t kItemSecondaryChannels = 21;
constexpr uint16_t kItemHomeSidFlag = 34;
constexpr uint16_t kItemForeignSidFlag = 35;

constexpr size_t kMin2Offset = 3;
constexpr size_t kMin1Offset = 5;

// Reads the u16 at data byte `offset` of a NAM item.
int read_u16(uint16_t item, int nam, size_t offset, uint16_t *out, uint16_t *err) {
    if (!diag_nam_valid(nam) || !out) return kDiagNullArgument;
    diag_nv_record r;
    int status = diag_nv_read_item(item, nam, &r, err);
    if (status == kDiagOk) *out = get_le16(r.item_data + offset);
    return status;
}

int read_u8(uint16_t item, int nam, size_t offset, uint8_t *out, uint16_t *err) {
    if (!diag_nam_valid(nam) || !out) return kDiagNullArgument;
    diag_nv_record r;
    int status = diag_nv_read_item(item, nam, &r, err);
    if (status == kDiagOk) *out = r.item_data[offset];
    return status;
}

int write_u16(uint16_t item, int nam, uint16_t value, uint16_t *err) {
    if (!diag_nam_valid(nam)) return kDiagNullArgument;
    diag_nv_record r{};
    r.item = item;
    r.item_data[0] = static_cast<uint8_t>(nam);
    put_le16(r.item_data + 1, value);
    return diag_nv_write_record(&r, err);
}

int read_channels(uint16_t item, int nam, uint16_t *a_out, uint16_t *b_out, uint16_t *err) {
    if (!diag_nam_valid(nam) || !a_out || !b_out) return kDiagNullArgument;
    diag_nv_record r;
    int status = diag_nv_read_item(item, nam, &r, err);
    if (status != kDiagOk) return status;
    *a_out = get_le16(r.item_data + 1);
    *b_out = get_le16(r.item_data + 3);
    return kDiagOk;
}

// Zeroes out (len bytes) and copies text with its NUL; 13 when it does not fit.
int put_text(char *out, size_t len, const char *text, size_t text_len) {
    std::memset(out, 0, len);
    if (text_len >= len) return kDiagNoRoom;
    std::memcpy(out, text, text_len);
    return kDiagOk;
}

bool six_zeros(const char *text) {
    return std::strncmp(text, "000000", 6) == 0;
}

}  // namespace

int nam_directory_number_read(int nam, char *out, size_t out_len, uint16_t *err) {
    if (!diag_nam_valid(nam) || !out || out_len == 0) return kDiagNullArgument;
    if (out_len < kNamMdnDigits) return kDiagNoRoom;
    diag_nv_record r;
    int status = diag_nv_read_item(kItemMdn, nam, &r, err);
    if (status != kDiagOk) return status;
    std::memcpy(out, r.item_data + 1, kNamMdnDigits);
    if (out_len > kNamMdnDigits) out[kNamMdnDigits] = '\0';
    return kDiagOk;
}

int nam_directory_number_write(int nam, const char *in, size_t len, uint16_t *err) {
    if (!diag_nam_valid(nam) || !in) return kDiagNullArgument;
    diag_nv_record r{};
    r.item = kItemMdn;
    r.item_data[0] = static_cast<uint8_t>(nam);
    std::memcpy(r.item_data + 1, in, len < kNamMdnDigits ? len : kNamMdnDigits);
    return diag_nv_write_record(&r, err);
}

int nam_min1_min2_read(int nam, char *out, size_t out_len, uint16_t *err) {
    if (!diag_nam_valid(nam) || !out) return kDiagNullArgument;
    if (out_len < kNamMinDigits) return kDiagNoRoom;
    diag_nv_record r;
    int status = diag_nv_read_item(kItemMin2, nam, &r, err);
    if (status == kDiagNvRefused) return status;
    if (status != kDiagOk) return kDiagNoRoom;  // as the card's library has always answered
    uint16_t min2 = get_le16(r.item_data + kMin2Offset);
    status = diag_nv_read_item(kItemMin1, nam, &r, err);
    if (status == kDiagNvRefused) return kDiagLockFailed;
    if (status != kDiagOk) return status;
    uint32_t min1 = get_le32(r.item_data + kMin1Offset);
    char digits[kNamMinDigits];
    if (!min2_decode(min2, digits) || !min1_decode(min1, digits + 3)) return kDiagMismatch;
    std::memcpy(out, digits, kNamMinDigits);
    if (out_len > kNamMinDigits) out[kNamMinDigits] = '\0';
    return kDiagOk;
}

int nam_min1_min2_write(int nam, const char *in, size_t len, uint16_t *err) {
    if (!diag_nam_valid(nam) || !in || len < kNamMinDigits) return kDiagNullArgument;
    char digits[kNamMinDigits];  // a copy: the caller's text stays as it was
    for (size_t i = 0; i < kNamMinDigits; ++i) {
        digits[i] = in[i] == ' ' ? '0' : in[i];
        if (digits[i] < '0' || digits[i] > '9') return kDiagNullArgument;
    }
    uint16_t min2;
    uint32_t min1;
    if (!min2_encode(digits, &min2) || !min1_encode(digits + 3, &min1)) return kDiagNullArgument;

    // Each item is read for the NAM being written, so the card's other bytes of that NAM's
    // item go back unchanged.
    diag_nv_record r;
    int status = diag_nv_read_item(kItemMin2, nam, &r, err);
    if (status != kDiagOk) return status;
    r.item_data[0] = static_cast<uint8_t>(nam);
    put_le16(r.item_data + kMin2Offset, min2);
    status = diag_nv_write_record(&r, err);
    if (status != kDiagOk) return status;

    status = diag_nv_read_item(kItemMin1, nam, &r, err);
    if (status != kDiagOk) return status;
    r.item_data[0] = static_cast<uint8_t>(nam);
    put_le32(r.item_data + kMin1Offset, min1);
    return diag_nv_write_record(&r, err);
}

int nam_home_sid_nid_read(int nam, uint16_t *sids, int sid_count, uint16_t *nids, int nid_count,
                          uint16_t *err) {
    if (!diag_nam_valid(nam)) return kDiagNullArgument;
    diag_nv_record r;
    int status = diag_nv_read_item(kItemSidNid, nam, &r, err);
    if (status != kDiagOk) return status;
    for (int i = 0; i < kNamSidNidPairs; ++i) {
        if (sids && i < sid_count) sids[i] = get_le16(r.item_data + 1 + 4 * i);
        if (nids && i < nid_count) nids[i] = get_le16(r.item_data + 3 + 4 * i);
    }
    return kDiagOk;
}

int nam_home_sid_nid_write(int nam, const uint16_t *sids, const uint16_t *nids, uint16_t *err) {
    if (!diag_nam_valid(nam)) return kDiagNullArgument;
    diag_nv_record r{};
    r.item = kItemSidNid;
    r.item_data[0] = static_cast<uint8_t>(nam);
    for (int i = 0; i < kNamSidNidPairs; ++i) {
        if (sids) put_le16(r.item_data + 1 + 4 * i, sids[i]);
        if (nids) put_le16(r.item_data + 3 + 4 * i, nids[i]);
    }
    return diag_nv_write_record(&r, err);
}

int nam_pref_mode_get(int nam, uint16_t *out, uint16_t *err) {
    return read_u16(kItemPrefMode, nam, 1, out, err);
}

int nam_pref_mode_set(int nam, uint16_t value, uint16_t *err) {
    return write_u16(kItemPrefMode, nam, value, err);
}

int nam_roam_pref_get(int nam, uint16_t *out, uint16_t *err) {
    return read_u16(kItemRoamPref, nam, 1, out, err);
}

int nam_roam_pref_set(int nam, uint16_t value, uint16_t *err) {
    return write_u16(kItemRoamPref, nam, value, err);
}

int nam_system_pref_get(int nam, uint16_t *out, uint16_t *err) {
    return read_u16(kItemSystemPref, nam, 1, out, err);
}

int nam_accolc_read(int nam, char *out, size_t len, uint16_t *err) {
    if (!diag_nam_valid(nam) || !out) return kDiagNullArgument;
    diag_nv_record r;
    int status = diag_nv_read_item(kItemAccolc, nam, &r, err);
    if (status != kDiagOk) return status;
    char text[4];
    int n = snprintf(text, sizeof text, "%d", r.item_data[2]);
    return put_text(out, len, text, static_cast<size_t>(n));
}

int nam_mcc_read(int nam, char *out, size_t len, uint16_t *err) {
    if (!diag_nam_valid(nam) || !out) return kDiagNullArgument;
    diag_nv_record r;
    int status = diag_nv_read_item(kItemMcc, nam, &r, err);
    if (status != kDiagOk) return status;
    char text[3];
    if (!min_group_decode(get_le16(r.item_data + 1), text)) {
        std::memset(out, 0, len);
        return kDiagMismatch;
    }
    return put_text(out, len, text, sizeof text);
}

int nam_11_12_read(int nam, char *out, size_t len, uint16_t *err) {
    if (!diag_nam_valid(nam) || !out) return kDiagNullArgument;
    diag_nv_record r;
    int status = diag_nv_read_item(kItemMnc, nam, &r, err);
    if (status != kDiagOk) return status;
    uint8_t code = r.item_data[1];
    std::memset(out, 0, len);
    if (code > 99) return kDiagMismatch;
    static const char kDigitOfCode[] = "1234567890";
    char text[2] = {kDigitOfCode[code / 10], kDigitOfCode[code % 10]};
    return put_text(out, len, text, sizeof text);
}

int nam_pcdmach_read(int nam, uint16_t *a_out, uint16_t *b_out, uint16_t *err) {
    return read_channels(kItemPrimaryChannels, nam, a_out, b_out, err);
}

int nam_scdmach_read(int nam, uint16_t *a_out, uint16_t *b_out, uint16_t *err) {
    return read_channels(kItemSecondaryChannels, nam, a_out, b_out, err);
}

int nam_hsid_flag_get(int nam, uint8_t *out, uint16_t *err) {
    return read_u8(kItemHomeSidFlag, nam, 2, out, err);
}

int nam_fsid_flag_get(int nam, uint8_t *out, uint16_t *err) {
    return read_u8(kItemForeignSidFlag, nam, 2, out, err);
}

int IsDeviceActivated(int nam, uint8_t *out) {
    if (!out) return kDiagNullArgument;
    char mdn[32] = {};
    char min[32] = {};
    int status = nam_directory_number_read(nam, mdn, sizeof mdn, nullptr);
    if (status != kDiagOk) return status;
    status = nam_min1_min2_read(nam, min, sizeof min, nullptr);
    if (status != kDiagOk) return status;
    *out = strlen(mdn) > 5 && strlen(min) > 5 && !six_zeros(mdn) && !six_zeros(min) ? 1 : 0;
    return kDiagOk;
}
