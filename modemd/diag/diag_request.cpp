#include "modemd/diag/diag_request.h"

#include <cstring>

#include "common/bytes.h"
#include "modemd/diag/diag_engine.h"
#include "modemd/diag/diag_status.h"

uint8_t diag_vendor_subsys_id() {
    return g_diag.vendor_subsys_id;
}

void diag_put_subsys_header(uint8_t *request, uint8_t subsys, uint16_t command) {
    request[0] = kDiagSubsysCommand;
    request[1] = subsys;
    put_le16(request + 2, command);
}

int diag_check_length(const DiagResponse &response, size_t min_len) {
    return response.size() >= min_len ? kDiagOk : kDiagMismatch;
}

int diag_check_subsys(const DiagResponse &response, const uint8_t *request, size_t min_len) {
    if (response.size() < kDiagSubsysHeader || response.size() < min_len) return kDiagMismatch;
    return std::memcmp(response.data(), request, kDiagSubsysHeader) == 0 ? kDiagOk : kDiagMismatch;
}

int diag_subsys_transact(uint8_t *request, size_t length, int timeout_seconds, size_t min_len,
                         DiagResponse *response) {
    int status = diag_transact(request, length, timeout_seconds, response);
    return status != kDiagOk ? status : diag_check_subsys(*response, request, min_len);
}
