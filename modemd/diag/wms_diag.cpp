#include "modemd/diag/wms_diag.h"

#include <pthread.h>

#include <atomic>
#include <cstdlib>
#include <cstring>

#include "common/bytes.h"
#include "modemd/diag/diag_dispatch.h"
#include "modemd/diag/diag_engine.h"
#include "modemd/diag/diag_request.h"
#include "modemd/diag/diag_status.h"
#include "modemd/diag/diag_transaction.h"

namespace {

constexpr uint16_t kCmdWrite = 0;
constexpr uint16_t kCmdClear = 1;
constexpr uint16_t kCmdClearAll = 2;
constexpr uint16_t kCmdList = 3;
constexpr uint16_t kCmdRead = 4;
constexpr uint16_t kCmdTag = 5;
constexpr uint32_t kStoreArgument = 6;
constexpr int kWait = 5;
constexpr int kLogWait = 10;
constexpr uint8_t kLogCommand = 0x10;
constexpr size_t kLogHeader = 16;        // bytes before the message in the log packet
constexpr uint16_t kLogLengthBase = 12;  // L counts the log header's 12 bytes
constexpr size_t kListFirstEntry = 24;
constexpr int kNoMemory = 44;

std::atomic<uint8_t> g_txn{0};

uint8_t next_txn() {
    return static_cast<uint8_t>(g_txn.fetch_add(1) + 1);
}

// Header and transaction id of a messaging request into a zeroed buffer.
uint8_t start_request(uint8_t *request, uint16_t command) {
    diag_put_subsys_header(request, kWmsSubsys, command);
    uint8_t txn = next_txn();
    request[4] = txn;
    return txn;
}

int simple(uint8_t *txn_out, uint16_t command, const uint32_t *args, int nargs) {
    if (!txn_out) return kDiagNullArgument;
    uint8_t request[kDiagRequestBuffer] = {};
    *txn_out = start_request(request, command);
    for (int i = 0; i < nargs; ++i)
        put_le32(request + 8 + 4 * i, args[i]);
    DiagResponse response;
    return diag_subsys_transact(request, 8 + 4 * static_cast<size_t>(nargs), kWait,
                                kDiagSubsysHeader, &response);
}

// Makes the next wait look at what is already stored: a packet that came with the answer
// before it was taken does not set the ready flag again.
void rescan_stored() {
    pthread_mutex_lock(&g_diag.response_mutex);
    g_diag.response_ready = 1;
    pthread_mutex_unlock(&g_diag.response_mutex);
}

}  // namespace

int wms_take_log_packet(const uint8_t *r, size_t len, uint8_t *message_out, size_t capacity,
                        size_t *length_out) {
    if (!r || len < 8 || r[0] != kLogCommand || get_le16(r + 6) != kDiagCapturedLogCode)
        return kWmsBadLogPacket;
    uint16_t l = get_le16(r + 2);
    // L counts the log header: below 12, or a message running past the packet, is no message.
    if (l < kLogLengthBase || kLogHeader + (l - kLogLengthBase) > len) return kWmsBadLogPacket;
    *length_out = l - kLogLengthBase;
    if (capacity < *length_out) return kDiagNoRoom;
    std::memcpy(message_out, r + kLogHeader, *length_out);
    return kDiagOk;
}

int wms_take_list_count(const uint8_t *r, size_t len, uint8_t *count_out) {
    if (!r || len < 8) return kDiagMismatch;
    uint32_t count = get_le32(r + 4);
    if (count > 255 || len < kListFirstEntry + kWmsListEntrySize * count) return kDiagMismatch;
    *count_out = static_cast<uint8_t>(count);
    return kDiagOk;
}

uint8_t wms_diag_transaction_id() {
    return g_txn.load();
}

void wms_diag_set_transaction_id(uint8_t id) {
    g_txn = id;
}

int WMSDiag_SendWriteCmd(uint8_t *txn_out, uint8_t *record, size_t record_length) {
    if (!txn_out || !record || record_length == 0) return kDiagNullArgument;
    // The fixed bytes below are written into the record: it must hold them.
    if (record_length < kWmsWriteRecordHeader) return kDiagNullArgument;
    size_t length = record_length + 4;
    if (length > kDiagMaxRequest) return kDiagWriteFailed;
    uint8_t *request = static_cast<uint8_t *>(calloc(1, length + 2));
    if (!request) return kNoMemory;
    uint8_t txn = next_txn();
    diag_put_subsys_header(request, kWmsSubsys, kCmdWrite);
    record[0] = txn;
    record[4] = 2;
    record[5] = 0;
    record[6] = 1;
    record[7] = 0;
    put_le32(record + 8, 3);
    put_le32(record + 12, kStoreArgument);
    std::memcpy(request + 4, record, record_length);
    DiagResponse response;
    int status = diag_subsys_transact(request, length, kWait, kDiagSubsysHeader, &response);
    free(request);
    if (status == kDiagOk) *txn_out = txn;
    return status;
}

int WMSDiag_ClearMsg(uint8_t *txn_out, uint32_t index) {
    const uint32_t args[] = {index, kStoreArgument};
    return simple(txn_out, kCmdClear, args, 2);
}

int WMSDiag_ClearAllMsgs(uint8_t *txn_out) {
    const uint32_t args[] = {kStoreArgument};
    return simple(txn_out, kCmdClearAll, args, 1);
}

int WMSDiag_SetMessageTag(uint8_t *txn_out, uint32_t index, int flag) {
    const uint32_t args[] = {kStoreArgument, index, flag ? 1u : 2u};
    return simple(txn_out, kCmdTag, args, 3);
}

int WMSDiag_GetMsgList(uint8_t *txn_out, uint8_t **list_out, uint8_t *count_out) {
    if (!txn_out || !list_out || !count_out) return kDiagNullArgument;
    *list_out = nullptr;
    *count_out = 0;
    uint8_t request[kDiagRequestBuffer] = {};
    *txn_out = start_request(request, kCmdList);
    put_le32(request + 8, kStoreArgument);
    DiagResponse response;
    int status = diag_subsys_transact(request, 12, kWait, 8, &response);
    if (status != kDiagOk) return status;
    uint8_t n = 0;
    status = wms_take_list_count(response.data(), response.size(), &n);
    if (status != kDiagOk) return status;
    uint32_t count = n;
    if (count) {
        uint8_t *list = static_cast<uint8_t *>(malloc(kWmsListEntrySize * count));
        if (!list) return kNoMemory;
        std::memcpy(list, response.data() + kListFirstEntry, kWmsListEntrySize * count);
        *list_out = list;
    }
    *count_out = static_cast<uint8_t>(count);
    return kDiagOk;
}

int WMSDIAG_IsValidSMSIndex(uint32_t index, uint8_t *valid_out) {
    if (!valid_out) return kDiagNullArgument;
    *valid_out = 0;
    uint8_t txn = 0, count = 0;
    uint8_t *list = nullptr;
    int status = WMSDiag_GetMsgList(&txn, &list, &count);
    if (status != kDiagOk) return status;
    if (count == 0) return kWmsNoMessages;
    for (uint8_t i = 0; i < count; ++i)
        if (get_le32(list + kWmsListEntrySize * i) == index) *valid_out = 1;
    free(list);
    return kDiagOk;
}

int WMSDiag_ReadMsg(uint8_t *txn_out, uint32_t index, uint8_t *message_out, size_t capacity,
                    size_t *length_out) {
    if (!txn_out || !message_out || !length_out) return kDiagNullArgument;
    *txn_out = 0;
    *length_out = 0;
    uint8_t request[kDiagRequestBuffer] = {};
    uint8_t txn = start_request(request, kCmdRead);
    put_le32(request + 8, kStoreArgument);
    put_le32(request + 12, index);
    if (pthread_mutex_lock(&g_diag.send_mutex) != 0) return kDiagLockFailed;
    diag_begin_request();
    diag_set_log_capture(true);
    int status = diag_send_frame(request, 16);
    DiagResponse answer;
    if (status == kDiagOk)
        status =
            diag_wait_response(kDiagSubsysCommand, answer.data_out(), answer.size_out(), 0, kWait);
    if (status == kDiagOk) status = diag_check_subsys(answer, request, 5);
    if (status == kDiagOk && answer.data()[4] == 0) {
        *txn_out = txn;
        rescan_stored();
        DiagResponse log;
        status = diag_wait_response(kLogCommand, log.data_out(), log.size_out(),
                                    kDiagCapturedLogCode, kLogWait);
        if (status == kDiagOk)
            status = wms_take_log_packet(log.data(), log.size(), message_out, capacity, length_out);
    }
    // Off on every path: left on, later 0x1160 packets would queue into other transactions.
    diag_set_log_capture(false);
    diag_end_request();
    pthread_mutex_unlock(&g_diag.send_mutex);
    return status;
}
