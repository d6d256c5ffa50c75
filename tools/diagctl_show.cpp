// diagctl: show, network and mode.
#include <cstring>

#include "common/bytes.h"
#include "modemd/diag/diag_device_info.h"
#include "modemd/diag/diag_loader.h"
#include "modemd/diag/diag_radio.h"
#include "modemd/diag/network_info.h"
#include "tools/diagctl_commands.h"

namespace {

// The records shown as they come ("hex"), by name.
struct Record {
    const char *name;
    size_t size;
    int (*read)(uint8_t *out);
};
const Record kRecords[] = {
    {"status", kDiagStatusSize, Diag_Get_Status},
    {"status-snapshot", kDiagStatusSnapshotSize, Diag_Get_Status_Snapshot},
    {"snapshot", kDiagSnapshotSize, Diag_Get_New_Snapshot},
    {"cm-state", kDiagCmStateSize, Diag_Subsys_Get_CM_State_Info},
    {"hdr-state", kDiagHdrStateSize, Diag_Subsys_Get_HDR_State_Info},
    {"ta-graph", kDiagTaGraphSize, Diag_TAGraph_Read},
    {"fer", kDiagFerSize, Diag_FER_Read},
    {"network-time", kDiagNetworkTimeSize, Diag_Get_Local_CDMA_Network_Time},
};

int show_version(DiagctlOut &out) {
    uint8_t v[kDiagVersionPayloadSize];
    int status = Diag_Get_Software_Version(v);
    if (status) return out.fail("show version", status);
    out.num("model", v[kDiagVersionModelOffset]);
    out.num("firmware", get_le16(v + kDiagVersionFirmwareOffset));
    out.text("text", reinterpret_cast<const char *>(v), kDiagVersionModelOffset);
    out.finish();
    return 0;
}

int show_devinfo(DiagctlOut &out) {
    uint8_t info[kDiagDeviceInfoSize];
    int status = Diag_Read_Device_Info(info);
    if (status) return out.fail("show devinfo", status);
    out.text("text", reinterpret_cast<const char *>(info), sizeof info);
    out.hex("hex", info, sizeof info);
    out.num("carrier", GetCarrierID());
    out.finish();
    return 0;
}

int show_build_id(DiagctlOut &out) {
    uint32_t msm = 0, model = 0;
    char build[128], model_text[128];
    int status =
        Diag_Ext_Build_ID(&msm, &model, build, sizeof build, model_text, sizeof model_text);
    if (status) return out.fail("show build-id", status);
    out.num("msm", msm);
    out.num("model", model);
    out.text("build", build, sizeof build);
    out.text("model_text", model_text, sizeof model_text);
    out.finish();
    return 0;
}

int show_rssi(DiagctlOut &out) {
    uint8_t r[kDiagRssiSize];
    int status = Diag_Get_RSSI(r);
    if (status) return out.fail("show rssi", status);
    out.num("level_1x", get_le16(r));
    out.num("dbm_1x", get_le16(r + 2));
    out.num("level_evdo", get_le16(r + 4));
    out.num("dbm_evdo", get_le16(r + 6));
    out.finish();
    return 0;
}

int show_eri(DiagctlOut &out) {
    uint8_t eri[kDiagEriSize];
    uint8_t error = 0;
    int status = Diag_Get_ERI(eri, &error);
    if (status == 1) return out.fail("show eri", status, "eri_error", error);
    if (status) return out.fail("show eri", status);
    out.hex("hex", eri, sizeof eri);
    out.finish();
    return 0;
}

int show_prl_version(DiagctlOut &out) {
    uint16_t version = 0;
    int status = Diag_Read_PRL_Version(&version);
    if (status) return out.fail("show prl-version", status);
    out.num("prl_version", version);
    out.finish();
    return 0;
}

int show_record(DiagctlOut &out, const Record &r) {
    uint8_t data[kDiagFerSize];  // the largest record
    int status = r.read(data);
    char what[40];
    snprintf(what, sizeof what, "show %s", r.name);
    if (status) return out.fail(what, status);
    out.hex("hex", data, r.size);
    if (std::strcmp(r.name, "status") == 0)
        out.num("status_word", get_le16(data + kDiagStatusWordOffset));
    out.finish();
    return 0;
}

}  // namespace

int diagctl_show(DiagctlCtx &ctx, int argc, char **argv) {
    if (argc != 2) return diagctl_usage("show takes one name");
    const char *what = argv[1];
    static const char *const kSingles[] = {"version", "devinfo", "build-id",
                                           "rssi",    "eri",     "prl-version"};
    const Record *record = nullptr;
    for (const Record &r : kRecords)
        if (std::strcmp(r.name, what) == 0) record = &r;
    bool known = record != nullptr;
    for (const char *s : kSingles)
        known = known || std::strcmp(s, what) == 0;
    if (!known) return diagctl_usage("show: unknown name", what);
    if (ctx.dry) return 0;
    DiagctlOut &out = *ctx.out;
    if (record) return show_record(out, *record);
    if (std::strcmp(what, "version") == 0) return show_version(out);
    if (std::strcmp(what, "devinfo") == 0) return show_devinfo(out);
    if (std::strcmp(what, "build-id") == 0) return show_build_id(out);
    if (std::strcmp(what, "rssi") == 0) return show_rssi(out);
    if (std::strcmp(what, "eri") == 0) return show_eri(out);
    return show_prl_version(out);
}

int diagctl_network(DiagctlCtx &ctx, int argc, char **) {
    if (argc != 1) return diagctl_usage("network takes no arguments");
    if (ctx.dry) return 0;
    uint8_t record[kNetworkInfoSize] = {};
    int status = GetNetworkInfo(record);
    DiagctlOut &out = *ctx.out;
    if (status) return out.fail("network", status);
    network_info_fields f = network_info_decode(record);
    out.num("service", f.service);
    out.num("level_1x", f.level_1x);
    out.num("dbm_1x", f.dbm_1x);
    out.num("level_evdo", f.level_evdo);
    out.num("dbm_evdo", f.dbm_evdo);
    out.num("roam", f.roam);
    out.num("snapshot_flag", f.snapshot_flag);
    out.num("hybrid", f.hybrid);
    out.num("evdo_state", f.evdo_state);
    out.num("primary_a", f.primary_a);
    out.num("primary_b", f.primary_b);
    out.num("secondary_a", f.secondary_a);
    out.num("secondary_b", f.secondary_b);
    out.num("status_word", f.status_word);
    out.finish();
    return 0;
}

int diagctl_mode(DiagctlCtx &ctx, int argc, char **argv) {
    if (argc != 2) return diagctl_usage("mode offline|reset");
    bool offline = std::strcmp(argv[1], "offline") == 0;
    if (!offline && std::strcmp(argv[1], "reset") != 0)
        return diagctl_usage("mode: offline or reset", argv[1]);
    if (ctx.dry) return 0;
    int status = offline ? Mode_Change_Radio_Offline_Digital() : Mode_Change_Radio_Reset();
    if (status) return ctx.out->fail(offline ? "mode offline" : "mode reset", status);
    ctx.out->text("mode", argv[1], 16);
    ctx.out->finish();
    return 0;
}
