#include "modemd/diag/diag_guard.h"

#include <cstring>

#include "common/bytes.h"
#include "modemd/diag/diag_nv.h"
#include "modemd/diag/diag_request.h"
#include "modemd/diag/diag_status.h"

namespace {

constexpr uint8_t kSpc = 0x41;
constexpr size_t kSpcLength = 10;
constexpr size_t kSpcDigits = 6;
constexpr uint16_t kVendorLockFlag = 10;
constexpr size_t kLockLength = 10;
constexpr uint8_t kPrlWrite = 0x48;
constexpr size_t kPrlHeader = 6;
constexpr size_t kPrlRequest = kPrlHeader + kPrlChunkSize;  // 126
constexpr int kWait = 1;

}  // namespace

int Diag_SPC(const char *code6, uint8_t *ok_out) {
    if (!code6 || !ok_out) return kDiagNullArgument;
    *ok_out = 0;
    uint8_t request[kDiagRequestBuffer] = {kSpc};
    std::memcpy(request + 1, code6, kSpcDigits);
    DiagResponse response;
    int status = diag_transact(request, kSpcLength, kWait, &response);
    if (status != kDiagOk) return status;
    if (response.size() == 2 && response.data()[0] == kSpc && response.data()[1] == 1) *ok_out = 1;
    return kDiagOk;
}

int lock_flag_set(uint8_t flag, const char *code4, size_t code_len, uint8_t *result_out) {
    if (!code4 || !result_out || code_len < 4) return kDiagNullArgument;
    uint8_t request[kDiagRequestBuffer] = {};
    diag_put_subsys_header(request, diag_vendor_subsys_id(), kVendorLockFlag);
    request[4] = 0;
    request[5] = flag;
    std::memcpy(request + 6, code4, 4);
    DiagResponse response;
    int status = diag_subsys_transact(request, kLockLength, kWait, 6, &response);
    if (status == kDiagOk) *result_out = response.data()[5];
    return status;
}

int Diag_PRL_Write(uint8_t nam, uint8_t sequence, const uint8_t *chunk, size_t chunk_length,
                   uint16_t bit_count, uint8_t more) {
    if ((!chunk && chunk_length) || chunk_length > kPrlChunkSize) return kDiagNullArgument;
    uint8_t request[kPrlRequest + 2] = {kPrlWrite, sequence, more, nam};
    put_le16(request + 4, bit_count);
    if (chunk_length) std::memcpy(request + kPrlHeader, chunk, chunk_length);
    DiagResponse response;
    int status = diag_transact(request, kPrlRequest, kWait, &response);
    if (status != kDiagOk) return status;
    if (response.size() < 2 || response.data()[0] != kPrlWrite) return kDiagMismatch;
    return response.data()[1] <= 1 ? kDiagOk : kDiagWriteFailed;
}

int Prl_Write(int nam, const uint8_t *data, size_t length, size_t *chunks_out) {
    if (chunks_out) *chunks_out = 0;
    if (length == 0) return kDiagBadLength;
    if (!data || !diag_nam_valid(nam) || length > kPrlMaxSize) return kDiagNullArgument;
    size_t chunks = (length + kPrlChunkSize - 1) / kPrlChunkSize;
    for (size_t i = 0; i < chunks; ++i) {
        size_t offset = i * kPrlChunkSize;
        size_t n = length - offset < kPrlChunkSize ? length - offset : kPrlChunkSize;
        uint8_t more = i + 1 < chunks ? 1 : 0;
        int status = Diag_PRL_Write(static_cast<uint8_t>(nam), static_cast<uint8_t>(i),
                                    data + offset, n, static_cast<uint16_t>(n * 8), more);
        if (status != kDiagOk) return status;
        if (chunks_out) *chunks_out = i + 1;
    }
    return kDiagOk;
}
