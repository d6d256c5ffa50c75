// The four GPS requests of the card (see gps.h for their layout).
#include <cstring>

#include "common/bytes.h"
#include "modemd/diag/diag_request.h"
#include "modemd/diag/diag_status.h"
#include "modemd/diag/gps.h"

namespace {

constexpr uint16_t kGpsStart = 0;
constexpr uint16_t kGpsEnd = 1;
constexpr uint16_t kGpsConfigure = 3;
constexpr uint16_t kGpsLastPosition = 4;
constexpr int kGpsWait = 5;

constexpr size_t kSessionBlockSize = 44;
constexpr size_t kRawPositionEnd = 36;  // the raw record is answer bytes 4-35

void put_session_block(uint8_t *p, const gps_session_block &b) {
    p[0] = b.byte0;
    p[1] = b.byte1;
    p[2] = b.byte2;
    p[3] = b.byte3;
    put_le16(p + 4, b.word4);
    p[6] = b.byte6;
    p[7] = b.byte7;
    put_le32(p + 8, b.dword8);
    put_le32(p + 12, b.dword12);
    put_le32(p + 16, b.dword16);
    put_le32(p + 20, b.session_value_1);
    put_le32(p + 24, b.session_value_2);
    p[28] = b.byte28;
    p[29] = b.byte29;
    p[30] = b.byte30;
    p[31] = b.byte31;
    put_le32(p + 32, b.dword32);
    put_le32(p + 36, b.dword36);
    put_le32(p + 40, b.dword40);
}

gps_raw_position get_raw_position(const uint8_t *p) {
    gps_raw_position r;
    r.latitude = static_cast<int32_t>(get_le32(p));
    r.longitude = static_cast<int32_t>(get_le32(p + 4));
    r.timestamp = get_le32(p + 8);
    r.angle = p[12];
    r.along_code = p[13];
    r.perpendicular_code = p[14];
    r.vertical_present = p[15];
    r.mask = get_le32(p + 16);
    r.altitude = get_le16(p + 20);
    r.heading = get_le16(p + 22);
    r.horizontal_speed = get_le16(p + 24);
    r.vertical_speed = static_cast<int8_t>(p[26]);
    r.vertical_code = p[27];
    r.reserved = get_le32(p + 28);
    return r;
}

// Sends a GPS request whose body (after the header) is already in request[4..length).
int gps_transact(uint8_t *request, uint16_t command, size_t length, size_t min_answer,
                 DiagResponse *response) {
    diag_put_subsys_header(request, kGpsSubsys, command);
    return diag_subsys_transact(request, length, kGpsWait, min_answer, response);
}

}  // namespace

int DiagPrepareDefaultGpsSessionStartPacket(gps_session_block *block, uint32_t session_value_1,
                                            uint32_t session_value_2) {
    if (!block) return kDiagNullArgument;
    *block = gps_session_block{};
    block->byte0 = 4;
    block->byte1 = 1;
    block->byte3 = 1;
    block->byte7 = 0x10;
    block->session_value_1 = session_value_1;
    block->session_value_2 = session_value_2;
    return kDiagOk;
}

int DiagConfigureGPS(const uint32_t pair[2], uint32_t *result_out) {
    if (!pair) return kDiagNullArgument;
    uint8_t request[kDiagRequestBuffer] = {};
    put_le32(request + 4, pair[0]);
    put_le32(request + 8, pair[1]);
    DiagResponse response;
    int status = gps_transact(request, kGpsConfigure, 16, 12, &response);
    if (status != kDiagOk) return status;
    switch (get_le32(response.data() + 4)) {
        case 0:
            if (result_out) *result_out = get_le32(response.data() + 8);
            return kDiagOk;
        case 1:
            return kGpsConfigRejected;
        case 2:
            return kDiagBadParams;
        default:
            return kDiagOk;
    }
}

int DiagStartGPS(const gps_session_block *block, uint32_t *result_out) {
    if (!block) return kDiagNullArgument;
    uint8_t request[kDiagRequestBuffer] = {};
    put_session_block(request + kDiagSubsysHeader, *block);
    DiagResponse response;
    int status =
        gps_transact(request, kGpsStart, kDiagSubsysHeader + kSessionBlockSize, 8, &response);
    if (status == kDiagOk && result_out) *result_out = get_le32(response.data() + 4);
    return status;
}

int DiagGPSEndCmd(uint32_t *result_out) {
    uint8_t request[kDiagRequestBuffer] = {};
    DiagResponse response;
    int status = gps_transact(request, kGpsEnd, 12, 12, &response);
    if (status == kDiagOk && result_out) *result_out = get_le32(response.data() + 8);
    return status;
}

int DiagGPSGetLastKnownPosition(gps_raw_position *raw_out) {
    if (!raw_out) return kDiagNullArgument;
    uint8_t request[kDiagRequestBuffer] = {};
    DiagResponse response;
    int status = gps_transact(request, kGpsLastPosition, 8, kRawPositionEnd, &response);
    if (status == kDiagOk) *raw_out = get_raw_position(response.data() + kDiagSubsysHeader);
    return status;
}
