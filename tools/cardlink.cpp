#include "tools/cardlink.h"

#include <cstring>

#include "common/bytes.h"
#include "common/ipc_key.h"
#include "common/msgcmd.h"
#include "tools/modem_client.h"

namespace {

constexpr long kDefaultTimeoutMs = 30000;

enum Command : uint16_t {
    kCmdEsn = 1,
    kCmdRssi = 2,
    kCmdBandclass = 3,
    kCmdActivation = 4,
    kCmdService = 5,
    kCmdSmsStatus = 7,
    kCmdSmsRead = 8,
    kCmdSmsWrite = 9,
    kCmdSmsRemove = 10,
    kCmdSmsFlag = 11,
};

ModemClient g_client;
bool g_open = false;
long g_timeout_ms = kDefaultTimeoutMs;
ModemReply g_reply;  // one call at a time; kept off the stack (over 1 KB)

// One command; 0 when modemd answered with result 0 and at least `need` data bytes.
int ask(uint16_t cmd, const uint8_t *data, size_t len, size_t need) {
    if (!g_open) return -1;
    if (modem_client_call_ms(&g_client, cmd, data, len, g_timeout_ms, &g_reply) < 0) return -1;
    if (g_reply.result != kResultOk || g_reply.data_len < need) return -1;
    return 0;
}

int get16(uint16_t cmd, uint32_t *out) {
    if (ask(cmd, nullptr, 0, 2) < 0) return -1;
    *out = get_host16(g_reply.data);
    return 0;
}

int get32(uint16_t cmd, uint32_t *out) {
    if (ask(cmd, nullptr, 0, 4) < 0) return -1;
    *out = get_host32(g_reply.data);
    return 0;
}

int index_command(uint16_t cmd, uint16_t index) {
    uint8_t req[2];
    put_host16(req, index);
    return ask(cmd, req, sizeof req, 0);
}

}  // namespace

int cardlinkapi_init(int ms) {
    if (g_open) (void)cardlinkapi_fina();
    int key = ipc_key_from_env("MODEMD_QUEUE_KEY", kModemdQueueKey);
    if (key < 0) return -1;
    if (modem_client_open(&g_client, key) < 0) return -1;
    g_timeout_ms = ms > 0 ? ms : kDefaultTimeoutMs;
    g_open = true;
    return 0;
}

int cardlinkapi_fina(void) {
    if (!g_open) return -1;
    modem_client_close(&g_client);
    g_open = false;
    return 0;
}

int cl_get_esn(uint32_t *esn) {
    return get32(kCmdEsn, esn);
}
int cl_get_rssi(uint32_t *rssi) {
    return get16(kCmdRssi, rssi);
}
int cl_get_bandclass(uint32_t *bandclass) {
    return get16(kCmdBandclass, bandclass);
}
int cl_get_activation_status(uint32_t *status) {
    return get16(kCmdActivation, status);
}
int cl_get_service_indication(uint32_t *indication) {
    return get16(kCmdService, indication);
}
int cl_get_sms_status(uint32_t *status) {
    return get32(kCmdSmsStatus, status);
}

int cl_read_sms(uint16_t index, char *text, int cap, char *other) {
    if (!text || cap < 1 || !other) return -1;
    if (index_command(kCmdSmsRead, index) < 0) return -1;
    text[0] = '\0';
    other[0] = '\0';
    return 0;
}

int cl_write_sms(const char *text, int len, const char *dest) {
    if (!text || !dest || len < 0) return -1;
    uint8_t req[kMsgcmdDataMax];
    size_t dest_len = strnlen(dest, sizeof req);
    size_t text_len = static_cast<size_t>(len);
    if (dest_len + 1 > sizeof req || text_len > sizeof req - dest_len - 1) return -1;
    memcpy(req, dest, dest_len);
    req[dest_len] = '\0';
    memcpy(req + dest_len + 1, text, text_len);
    return ask(kCmdSmsWrite, req, dest_len + 1 + text_len, 0);
}

int cl_flag_sms(uint16_t index, uint16_t flag) {
    uint8_t req[4];
    put_host16(req, index);
    put_host16(req + 2, flag);
    return ask(kCmdSmsFlag, req, sizeof req, 0);
}

int cl_remove_sms(uint16_t index) {
    return index_command(kCmdSmsRemove, index);
}
