// The Sierra family's command handlers: card values by CnS get, and the DIAG pass-through.
#include <cstring>

#include "common/bytes.h"
#include "modemd/families.h"
#include "modemd/sierra.h"
#include "modemd/sierra_transport.h"
#include "modemd/sms.h"

namespace {

inline constexpr int kDiagRequestMax = kSierraRequestArea;

int reply_int16(uint16_t obj, uint8_t *reply, int cap) {
    uint16_t v;
    if (cap < 2 || sierra_cns_get_int16(sierra_fd, &v, obj) < 0) return -1;
    put_host16(reply, v);
    return 2;
}

}  // namespace

int sierra_esn_get(uint8_t *, int, uint8_t *reply, int cap) {
    uint32_t v;
    if (cap < 4 || sierra_cns_get_int32(sierra_fd, &v, kObjEsn) < 0) return -1;
    put_host32(reply, v);
    return 4;
}

int sierra_rssi_get(uint8_t *, int, uint8_t *reply, int cap) {
    return reply_int16(kObjRssi, reply, cap);
}

int sierra_band_get(uint8_t *, int, uint8_t *reply, int cap) {
    return reply_int16(kObjBandClass, reply, cap);
}

int sierra_activation_get(uint8_t *, int, uint8_t *reply, int cap) {
    return reply_int16(kObjActivationStatus, reply, cap);
}

int sierra_service_get(uint8_t *, int, uint8_t *reply, int cap) {
    return reply_int16(kObjServiceIndication, reply, cap);
}

int sierra_phone_get(uint8_t *, int, uint8_t *reply, int cap) {
    char text[kSierraAnswerCap];
    int n = sierra_cns_get_string(sierra_fd, text, sizeof text, kObjPhoneNumber);
    if (n <= 0 || n > cap) return -1;
    memcpy(reply, text, static_cast<size_t>(n));
    return n;
}

int sierra_diag_passthrough(uint8_t *req, int req_len, uint8_t *reply, int cap) {
    if (req_len < 0 || req_len > kDiagRequestMax) return -1;
    uint8_t frame[kSierraHeaderLen + kDiagRequestMax];
    memcpy(frame + kSierraHeaderLen, req, static_cast<size_t>(req_len));
    uint8_t answer[kSierraAnswerCap];
    int n = sierra_diag_cmd(sierra_fd, frame, req_len, answer, sizeof answer);
    if (n < 0 || n > cap) return -1;
    memcpy(reply, answer, static_cast<size_t>(n));
    return n;
}

void sierra_register_handlers(void) {
    msgcmd_link *list = &sierra_msg2cmd_node_list;
    msg2cmd_init(list);
    register_msgcmd_handler(list, 1, sierra_esn_get);
    register_msgcmd_handler(list, 2, sierra_rssi_get);
    register_msgcmd_handler(list, 3, sierra_band_get);
    register_msgcmd_handler(list, 4, sierra_activation_get);
    register_msgcmd_handler(list, 5, sierra_service_get);
    register_msgcmd_handler(list, 6, sierra_phone_get);
    register_msgcmd_handler(list, 7, sms_get_status);
    register_msgcmd_handler(list, 8, sms_read);
    register_msgcmd_handler(list, 9, sms_write);
    register_msgcmd_handler(list, 11, sms_flag);
    register_msgcmd_handler(list, 10, sms_remove);
    register_msgcmd_handler(list, 200, sierra_diag_passthrough);
}
