// GetNetworkInfo's use of the card's answers (CM state, HDR state, new snapshot, TA graph,
// RSSI). Input: a flags byte (bit 0 HDR read, bit 1 TA graph read, bit 2 RSSI read, bit 3 the
// record starts in service 5), then CM (40), HDR (9), snapshot (43), TA graph (12) and RSSI (8)
// bytes, zero where the input ends. Checks the record's ranges.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "common/bytes.h"
#include "modemd/diag/network_info.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    uint8_t in[1 + 40 + 9 + 43 + 12 + 8] = {};
    std::memcpy(in, data, size < sizeof in ? size : sizeof in);
    uint8_t flags = in[0];
    const uint8_t *cm = in + 1, *hdr = cm + 40, *snap = hdr + 9, *ta = snap + 43, *rssi = ta + 12;
    const uint8_t *hdr_in = flags & 1 ? hdr : nullptr;
    uint32_t service_class = 99;
    if (!network_service_class(cm, hdr_in, &service_class)) return 0;
    if (service_class < 1 || service_class > 5) abort();
    uint8_t record[kNetworkInfoSize] = {};
    uint32_t start_service = flags & 8 ? 5 : 0;
    put_le32(record, start_service);
    network_info_compose(service_class, hdr_in, snap, flags & 2 ? ta : nullptr,
                         flags & 4 ? rssi : nullptr, record);
    network_info_fields f = network_info_decode(record);
    if (f.service != 1 && f.service != 2 && f.service != 3 && f.service != 5 && f.service != 6 &&
        f.service != start_service)
        abort();
    if (f.roam > 3 || f.evdo_state > 2 || f.snapshot_flag > 1 || f.hybrid > 1) abort();
    if (f.evdo_state != 0 && f.service != 6) abort();
    if (!(flags & 4)) {  // no RSSI to overwrite what was worked out
        if (flags & 2 && (f.level_1x > 31 || f.dbm_1x < 75 || f.dbm_1x > 125)) abort();
        if (f.level_evdo > 31 || f.dbm_evdo < 75 || f.dbm_evdo > 125) abort();
        if (f.service != 6 && (f.level_evdo != 0 || f.dbm_evdo != 125)) abort();
    }
    return 0;
}
