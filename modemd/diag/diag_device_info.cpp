#include "modemd/diag/diag_device_info.h"

#include <cstring>

#include "modemd/diag/diag_request.h"
#include "modemd/diag/diag_status.h"

namespace {

constexpr uint8_t kSoftwareVersion = 0x00;
constexpr uint16_t kVendorDeviceInfo = 11;
constexpr int kWait = 1;

}  // namespace

int Diag_Get_Software_Version(uint8_t *out54) {
    if (!out54) return kDiagNullArgument;
    uint8_t request[kDiagRequestBuffer] = {kSoftwareVersion};
    DiagResponse response;
    int status = diag_transact(request, 1, kWait, &response);
    if (status != kDiagOk) return status;
    if (response.size() != 1 + kDiagVersionPayloadSize) return kDiagMismatch;
    std::memcpy(out54, response.data() + 1, kDiagVersionPayloadSize);
    return kDiagOk;
}

int Diag_Read_Device_Info(uint8_t *out100) {
    if (!out100) return kDiagNullArgument;
    uint8_t request[kDiagRequestBuffer] = {};
    diag_put_subsys_header(request, diag_vendor_subsys_id(), kVendorDeviceInfo);
    DiagResponse response;
    int status = diag_subsys_transact(request, 10, kWait, kDiagSubsysHeader + kDiagDeviceInfoSize,
                                      &response);
    if (status != kDiagOk) return status;
    std::memcpy(out100, response.data() + kDiagSubsysHeader, kDiagDeviceInfoSize);
    return kDiagOk;
}
