#include "modemd/diag/network_info.h"

#include <cstring>

#include "common/bytes.h"
#include "modemd/diag/diag_radio.h"
#include "modemd/diag/diag_status.h"
#include "modemd/diag/nam_items.h"

namespace {

constexpr size_t kService = 0, kLevel1x = 4, kDbm1x = 6, kLevelEvdo = 8, kDbmEvdo = 10, kRoam = 12,
                 kSnapshotFlag = 16, kHybrid = 17, kEvdoState = 19, kPrimaryA = 20, kPrimaryB = 24,
                 kSecondaryA = 28, kSecondaryB = 32, kStatusWord = 36;

constexpr uint32_t kCmInService = 5;
constexpr uint16_t kWeakestDbm = 125;
constexpr uint16_t kStrongestDbm = 75;
constexpr uint16_t kMaxLevel = 31;

void write_no_service(uint8_t *record) {
    put_le32(record + kService, 0);
    put_le16(record + kLevel1x, 0);
    put_le16(record + kDbm1x, kWeakestDbm);
    put_le16(record + kLevelEvdo, 0);
    put_le16(record + kDbmEvdo, kWeakestDbm);
}

bool hdr_in_evdo(const uint8_t *hdr) {
    return hdr[1] == 4 && (hdr[2] == 2 || hdr[2] == 3);
}

// Step 7: the service from the class and the snapshot's byte 18. Service 5 becomes 6 on a
// hybrid card whose HDR state shows EV-DO; byte 18 of 4 or 5 stays 3.
uint32_t service_of(uint32_t service_class, uint8_t byte18, bool hybrid, const uint8_t *hdr,
                    uint32_t previous) {
    switch (service_class) {
        case 1:
            return 1;
        case 4:
            return 6;
        case 2:
            switch (byte18) {
                case 2:
                case 3:
                    return 2;
                case 4:
                case 5:
                    return 3;
                case 6:
                case 7:
                    return hybrid && hdr_in_evdo(hdr) ? 6 : 5;
                default:
                    return previous;
            }
        default:
            return previous;
    }
}

// Step 10: the EV-DO signal from the snapshot's u32 x, either a level (below 33; 32 clamped to
// 31 and -75 dBm) or -dBm (75-125).
void evdo_signal(uint32_t x, uint8_t *record) {
    if (x < 33) {
        uint16_t level = x > kMaxLevel ? kMaxLevel : static_cast<uint16_t>(x);
        // truncate(125 - x * 50 / 31), exact in integers while the value stays positive
        uint32_t dbm = (kWeakestDbm * 31 - x * 50) / 31;
        put_le16(record + kLevelEvdo, level);
        put_le16(record + kDbmEvdo,
                 static_cast<uint16_t>(dbm < kStrongestDbm ? kStrongestDbm : dbm));
    } else if (x >= kStrongestDbm && x <= kWeakestDbm) {
        put_le16(record + kDbmEvdo, static_cast<uint16_t>(x));
        put_le16(record + kLevelEvdo, static_cast<uint16_t>((kWeakestDbm - x) * 31 / 50));
    }
}

uint32_t roam_of(uint8_t byte20) {
    return byte20 > 3 ? 3 : byte20;
}

}  // namespace

// The TA-graph rule. The card's first TA-graph byte, put through v = r / 3 - 63.248, is read
// as a signal strength of v dBm (always negative for a byte: -105 to -21). -v, clamped to the
// range the record carries (75-125), is dbm_1x, and level_1x follows from it by the same
// conversion as the EV-DO level, (125 - dBm) * 31 / 50: level 31 at -75 dBm, 0 at -125 dBm.
// So a stronger signal always gives a higher level, for 1x and EV-DO alike, and the two
// ends meet as they should (75 with 31, 125 with 0). The other mapping on offer, a level of
// -v / 125 * 32, grows as the signal weakens and would contradict the EV-DO level beside it.
bool network_1x_from_ta_graph(int8_t r, uint16_t *level, uint16_t *dbm) {
    int v = static_cast<int>(r / 3 - 63.248);  // truncated toward zero
    if (v >= 0) return false;
    int d = -v;
    if (d < kStrongestDbm) d = kStrongestDbm;
    if (d > kWeakestDbm) d = kWeakestDbm;
    *dbm = static_cast<uint16_t>(d);
    *level = static_cast<uint16_t>((kWeakestDbm - d) * 31 / 50);
    return true;
}

int network_service_class(const uint8_t *cm, const uint8_t *hdr, uint32_t *service_class) {
    if (get_le32(cm + 4) != kCmInService) return 0;
    uint32_t c = get_le32(cm + 8);
    if (c == 0 && hdr && hdr_in_evdo(hdr)) c = 4;
    *service_class = c;
    return c >= 1 && c <= 5 ? 1 : 0;
}

void network_info_compose(uint32_t service_class, const uint8_t *hdr_or_null, const uint8_t *snap,
                          const uint8_t *ta_or_null, const uint8_t *rssi_or_null, uint8_t *record) {
    static const uint8_t kNoHdr[kDiagHdrStateSize] = {};
    const uint8_t *hdr = hdr_or_null ? hdr_or_null : kNoHdr;
    bool hybrid = hdr[8] != 0;
    record[kHybrid] = hybrid ? 1 : 0;
    uint32_t service =
        service_of(service_class, snap[18], hybrid, hdr, get_le32(record + kService));
    put_le32(record + kService, service);

    uint16_t snap1x = get_le16(snap);
    put_le16(record + kLevel1x, snap1x);
    put_le16(record + kDbm1x, snap1x);
    uint16_t level, dbm;
    if (ta_or_null && network_1x_from_ta_graph(static_cast<int8_t>(ta_or_null[0]), &level, &dbm)) {
        put_le16(record + kLevel1x, level);
        put_le16(record + kDbm1x, dbm);
    }

    put_le16(record + kLevelEvdo, 0);
    put_le16(record + kDbmEvdo, kWeakestDbm);
    if (service == 6) evdo_signal(get_le32(snap), record);

    if (rssi_or_null) std::memcpy(record + kLevel1x, rssi_or_null, kDiagRssiSize);

    record[kSnapshotFlag] = snap[38] == 4 ? 1 : 0;
    put_le32(record + kRoam, roam_of(snap[20]));
    uint8_t evdo_state = 0;
    if (service == 6 && snap[42] == 0) evdo_state = 1;
    if (service == 6 && snap[42] == 1) evdo_state = 2;
    record[kEvdoState] = evdo_state;
}

int GetNetworkInfo(uint8_t *record) {
    if (!record) return kDiagNullArgument;
    uint8_t cm[kDiagCmStateSize];
    int status = Diag_Subsys_Get_CM_State_Info(cm);
    if (status != kDiagOk) return status;
    uint32_t service_class = 0;
    if (get_le32(cm + 4) != kCmInService) {
        write_no_service(record);
        return kDiagOk;
    }
    uint8_t hdr[kDiagHdrStateSize];
    bool have_hdr = Diag_Subsys_Get_HDR_State_Info(hdr) == kDiagOk;
    if (!network_service_class(cm, have_hdr ? hdr : nullptr, &service_class)) {
        write_no_service(record);
        return kDiagOk;
    }
    uint8_t snap[kDiagSnapshotSize];
    status = Diag_Get_New_Snapshot(snap);
    if (status != kDiagOk) return status;  // the snapshot's own failure, not the HDR read's

    uint8_t ta[kDiagTaGraphSize], rssi[kDiagRssiSize];
    bool have_ta = Diag_TAGraph_Read(ta) == kDiagOk;
    bool have_rssi = Diag_Get_RSSI(rssi) == kDiagOk;
    network_info_compose(service_class, have_hdr ? hdr : nullptr, snap, have_ta ? ta : nullptr,
                         have_rssi ? rssi : nullptr, record);

    uint16_t a, b;
    if (nam_pcdmach_read(0, &a, &b, nullptr) == kDiagOk) {
        put_le32(record + kPrimaryA, a);
        put_le32(record + kPrimaryB, b);
    }
    if (nam_scdmach_read(0, &a, &b, nullptr) == kDiagOk) {
        put_le32(record + kSecondaryA, a);
        put_le32(record + kSecondaryB, b);
    }
    uint8_t st[kDiagStatusSize];
    if (Diag_Get_Status(st) == kDiagOk)
        put_le32(record + kStatusWord, get_le16(st + kDiagStatusWordOffset));
    return kDiagOk;
}

network_info_fields network_info_decode(const uint8_t *record) {
    network_info_fields f;
    f.service = get_le32(record + kService);
    f.level_1x = get_le16(record + kLevel1x);
    f.dbm_1x = get_le16(record + kDbm1x);
    f.level_evdo = get_le16(record + kLevelEvdo);
    f.dbm_evdo = get_le16(record + kDbmEvdo);
    f.roam = get_le32(record + kRoam);
    f.snapshot_flag = record[kSnapshotFlag];
    f.hybrid = record[kHybrid];
    f.evdo_state = record[kEvdoState];
    f.primary_a = get_le32(record + kPrimaryA);
    f.primary_b = get_le32(record + kPrimaryB);
    f.secondary_a = get_le32(record + kSecondaryA);
    f.secondary_b = get_le32(record + kSecondaryB);
    f.status_word = get_le32(record + kStatusWord);
    return f;
}
