// The Sierra family's command handlers: card values by CnS get, and the DIAG pass-through.
#include <cstdio>
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
    static const struct {
        uint32_t cmd;
        msgcmd_handler_t handler;
    } kHandlers[] = {
        {1, sierra_esn_get},     {2, sierra_rssi_get},
        {3, sierra_band_get},    {4, sierra_activation_get},
        {5, sierra_service_get}, {6, sierra_phone_get},
        {7, sms_get_status},     {8, sms_read},
        {9, sms_write},          {11, sms_flag},
        {10, sms_remove},        {200, sierra_diag_passthrough},
    };
    for (const auto &h : kHandlers)
        if (!register_msgcmd_handler(list, h.cmd, h.handler))
            printf("sierra: no memory for the handler of command %u: it goes unanswered\n",
                   static_cast<unsigned>(h.cmd));
}
