#include "modemd/diag/diag_radio.h"

#include <cstring>

#include "common/bytes.h"
#include "modemd/diag/diag_engine.h"
#include "modemd/diag/diag_request.h"
#include "modemd/diag/diag_status.h"

namespace {

constexpr uint8_t kStatus = 0x0C;
constexpr uint8_t kStatusSnapshot = 0x63;
constexpr uint8_t kTaGraph = 0x19;
constexpr uint8_t kFer = 0x55;
constexpr uint8_t kBuildId = 0x7C;
constexpr uint8_t kModeChange = 0x29;
constexpr uint8_t kCmSubsys = 0x0F;
constexpr uint8_t kHdrSubsys = 0x05;
constexpr uint16_t kCmStateInfo = 0;
constexpr uint16_t kHdrStateInfo = 8;
constexpr uint16_t kVendorSnapshot = 7;
constexpr uint16_t kVendorEri = 8;
constexpr uint16_t kVendorNetworkTime = 9;
constexpr uint16_t kVendorPrlVersion = 12;
constexpr uint16_t kVendorRssi = 31;
constexpr size_t kSnapshotOffset = 13;
constexpr size_t kBuildTextOffset = 12;
constexpr size_t kEriAnswer = kDiagSubsysHeader + kDiagEriSize;  // 91
constexpr int kWait = 1;

// A one-byte request whose answer is the command byte and exactly `size` bytes.
int plain_read(uint8_t command, uint8_t *out, size_t size) {
    if (!out) return kDiagNullArgument;
    uint8_t request[kDiagRequestBuffer] = {command};
    DiagResponse response;
    int status = diag_transact(request, 1, kWait, &response);
    if (status != kDiagOk) return status;
    if (response.size() != 1 + size) return kDiagMismatch;
    std::memcpy(out, response.data() + 1, size);
    return kDiagOk;
}

// A subsystem request of `length` bytes (header written here, the rest by `fill`), whose
// answer holds `size` bytes from `offset`.
int subsys_read(uint8_t subsys, uint16_t command, size_t length, int wait, size_t offset,
                uint8_t *out, size_t size, const uint8_t *extra = nullptr, size_t extra_len = 0) {
    if (!out) return kDiagNullArgument;
    uint8_t request[kDiagRequestBuffer] = {};
    diag_put_subsys_header(request, subsys, command);
    if (extra_len) std::memcpy(request + kDiagSubsysHeader, extra, extra_len);
    DiagResponse response;
    int status = diag_subsys_transact(request, length, wait, offset + size, &response);
    if (status == kDiagOk) std::memcpy(out, response.data() + offset, size);
    return status;
}

// Copies the NUL-terminated text at data[0..limit) (the end of the answer bounds it) into out
// with its NUL; 13 when its length is not below cap. *used is the text's bytes with its NUL.
int copy_text(const uint8_t *data, size_t limit, char *out, size_t cap, size_t *used) {
    size_t len = strnlen(reinterpret_cast<const char *>(data), limit);
    *used = len < limit ? len + 1 : len;
    if (len >= cap) return kDiagNoRoom;
    std::memcpy(out, data, len);
    out[len] = '\0';
    return kDiagOk;
}

}  // namespace

int Diag_Get_New_Snapshot(uint8_t *out43) {
    const uint8_t extra[5] = {7, 0xFF, 0xFF, 0x00, 0x00};  // u8 7, u32 0x0000FFFF
    return subsys_read(diag_vendor_subsys_id(), kVendorSnapshot, 9, 7, kSnapshotOffset, out43,
                       kDiagSnapshotSize, extra, sizeof extra);
}

int Diag_Get_RSSI(uint8_t *out8) {
    if (!out8) return kDiagNullArgument;
    if (g_diag.model_flag == 0 ||
        (g_diag.model_flag == 1 && g_diag.firmware_revision < kDiagRssiFirstRevision))
        return kDiagNotSupported;
    return subsys_read(diag_vendor_subsys_id(), kVendorRssi, kDiagRequestSize, 2, kDiagSubsysHeader,
                       out8, kDiagRssiSize);
}

int Diag_Get_Status(uint8_t *out47) {
    return plain_read(kStatus, out47, kDiagStatusSize);
}

int Diag_Get_Status_Snapshot(uint8_t *out35) {
    return plain_read(kStatusSnapshot, out35, kDiagStatusSnapshotSize);
}

int Diag_Subsys_Get_CM_State_Info(uint8_t *out40) {
    return subsys_read(kCmSubsys, kCmStateInfo, 4, kWait, kDiagSubsysHeader, out40,
                       kDiagCmStateSize);
}

int Diag_Subsys_Get_HDR_State_Info(uint8_t *out9) {
    return subsys_read(kHdrSubsys, kHdrStateInfo, 4, kWait, kDiagSubsysHeader, out9,
                       kDiagHdrStateSize);
}

int diag_eri_parse(const uint8_t *r, size_t len, uint8_t *out87, uint8_t *error_out) {
    if (len < kDiagSubsysHeader + 1) return kDiagMismatch;
    if (r[4] != 0) {
        if (len < 6) return kDiagMismatch;
        if (error_out) *error_out = r[5];
        return kDiagLockFailed;
    }
    if (len != kEriAnswer) return kDiagMismatch;
    std::memcpy(out87, r + kDiagSubsysHeader, kDiagEriSize);
    return kDiagOk;
}

int Diag_Get_ERI(uint8_t *out87, uint8_t *error_out) {
    if (!out87) return kDiagNullArgument;
    uint8_t request[kDiagRequestBuffer] = {};
    diag_put_subsys_header(request, diag_vendor_subsys_id(), kVendorEri);
    DiagResponse response;
    int status = diag_subsys_transact(request, 5, kWait, kDiagSubsysHeader + 1, &response);
    if (status != kDiagOk) return status;
    return diag_eri_parse(response.data(), response.size(), out87, error_out);
}

int diag_build_id_parse(const uint8_t *r, size_t len, uint32_t *msm_out, uint32_t *model_out,
                        char *build, size_t build_cap, char *model_text, size_t model_cap) {
    if (len < kBuildTextOffset || r[0] != kBuildId) return kDiagMismatch;
    if (msm_out) *msm_out = get_le32(r + 4);
    if (model_out) *model_out = get_le32(r + 8);
    size_t at = kBuildTextOffset, used = 0;
    int status = copy_text(r + at, len - at, build, build_cap, &used);
    if (status != kDiagOk) return status;
    at += used;
    return copy_text(r + at, len - at, model_text, model_cap, &used);
}

int Diag_Ext_Build_ID(uint32_t *msm_out, uint32_t *model_out, char *build, size_t build_cap,
                      char *model_text, size_t model_cap) {
    if (!build || !model_text) return kDiagNullArgument;
    uint8_t request[kDiagRequestBuffer] = {kBuildId};
    DiagResponse response;
    int status = diag_transact(request, 1, kWait, &response);
    if (status != kDiagOk) return status;
    return diag_build_id_parse(response.data(), response.size(), msm_out, model_out, build,
                               build_cap, model_text, model_cap);
}

int Diag_TAGraph_Read(uint8_t *out12) {
    return plain_read(kTaGraph, out12, kDiagTaGraphSize);
}

int Diag_FER_Read(uint8_t *out64) {
    return plain_read(kFer, out64, kDiagFerSize);
}

int Diag_Get_Local_CDMA_Network_Time(uint8_t *out17) {
    return subsys_read(diag_vendor_subsys_id(), kVendorNetworkTime, 4, kWait, kDiagSubsysHeader,
                       out17, kDiagNetworkTimeSize);
}

int Diag_Read_PRL_Version(uint16_t *out) {
    if (!out) return kDiagNullArgument;
    uint8_t version[2];
    int status = subsys_read(diag_vendor_subsys_id(), kVendorPrlVersion, 4, kWait,
                             kDiagSubsysHeader, version, sizeof version);
    if (status == kDiagOk) *out = get_le16(version);
    return status;
}

int Diag_Mode_Change(uint16_t mode, int timeout_seconds) {
    uint8_t request[kDiagRequestBuffer] = {kModeChange};
    put_le16(request + 1, mode);
    DiagResponse response;
    int status = diag_transact(request, kDiagRequestSize, timeout_seconds, &response);
    if (status != kDiagOk) return status;
    if (response.size() < 3 || response.data()[0] != kModeChange) return kDiagMismatch;
    return get_le16(response.data() + 1) == mode ? kDiagOk : kDiagWrongEcho;
}

int Mode_Change_Radio_Offline_Digital() {
    return Diag_Mode_Change(1, 5);
}

int Mode_Change_Radio_Reset() {
    return Diag_Mode_Change(2, 5);
}
