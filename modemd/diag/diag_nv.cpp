#include "modemd/diag/diag_nv.h"

#include <cstring>

#include "common/bytes.h"
#include "modemd/diag/diag_status.h"
#include "modemd/diag/diag_transaction.h"

namespace {

constexpr uint8_t kNvRead = 0x26;
constexpr uint8_t kNvWrite = 0x27;
constexpr size_t kNvPacket = 1 + kDiagNvRecordSize;
constexpr int kNvWait = 7;

int nv_transact(uint8_t command, diag_nv_record *record) {
    if (!record) return kDiagNullArgument;
    uint8_t request[kNvPacket + 2] = {command};
    put_le16(request + 1, record->item);
    std::memcpy(request + 3, record->item_data, kDiagNvDataSize);
    put_le16(request + 3 + kDiagNvDataSize, record->nv_status);
    DiagResponse response;
    int status = diag_transact(request, kNvPacket, kNvWait, &response);
    if (status != kDiagOk) return status;
    return diag_nv_take_response(command, response.data(), response.size(), record);
}

int nv_result(int status, const diag_nv_record &record, uint16_t *nv_err) {
    if (status != kDiagOk) return status;
    if (record.nv_status == 0) return kDiagOk;
    if (nv_err) *nv_err = record.nv_status;
    return kDiagNvRefused;
}

}  // namespace

int diag_nv_take_response(uint8_t command, const uint8_t *r, size_t len, diag_nv_record *record) {
    if (len != kNvPacket || r[0] != command) return kDiagMismatch;
    record->item = get_le16(r + 1);
    std::memcpy(record->item_data, r + 3, kDiagNvDataSize);
    record->nv_status = get_le16(r + 3 + kDiagNvDataSize);
    return kDiagOk;
}

int Diag_NV_Read(diag_nv_record *record) {
    return nv_transact(kNvRead, record);
}

int Diag_NV_Write(diag_nv_record *record) {
    return nv_transact(kNvWrite, record);
}

int diag_nv_read_item(uint16_t item, int nam, diag_nv_record *record, uint16_t *nv_err) {
    std::memset(record, 0, sizeof *record);
    record->item = item;
    if (nam >= 0) record->item_data[0] = static_cast<uint8_t>(nam);
    return nv_result(Diag_NV_Read(record), *record, nv_err);
}

int diag_nv_write_record(diag_nv_record *record, uint16_t *nv_err) {
    record->nv_status = 0;
    return nv_result(Diag_NV_Write(record), *record, nv_err);
}
