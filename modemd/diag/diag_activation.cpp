#include "modemd/diag/diag_activation.h"

#include <pthread.h>
#include <time.h>

#include <cerrno>
#include <cstring>

#include "common/bytes.h"
#include "modemd/diag/diag_dispatch.h"
#include "modemd/diag/diag_engine.h"
#include "modemd/diag/diag_events.h"
#include "modemd/diag/diag_nv.h"
#include "modemd/diag/diag_radio.h"
#include "modemd/diag/diag_request.h"
#include "modemd/diag/diag_status.h"
#include "modemd/diag/diag_transaction.h"
#include "platform/env.h"

namespace {

constexpr uint16_t kEventTypeState = 6;
constexpr uint16_t kEventTypeCallEnd = 9;
constexpr uint16_t kEventTypeCall = 13;
constexpr uint16_t kEventTypeGeneric = 3;

constexpr uint8_t kOriginationCommand = 0x35;
constexpr size_t kOriginationLength = 36;
constexpr size_t kMaxDialDigits = 32;
constexpr uint16_t kOriginationValue = 11;
constexpr uint16_t kIotaCommand = 13;
constexpr uint16_t kOmaCommand = 38;
constexpr size_t kIotaOut = 256;
constexpr size_t kOmaOut = 5;
constexpr uint16_t kOmaConfigItem = 10033;
constexpr uint16_t kActivationCtlItem = 10000;
constexpr unsigned long kMonitorPassMs = 4000;
constexpr int kCmFailuresToGiveUp = 3;

constexpr uint8_t kLogConfigCommand = 0x73;
constexpr size_t kLogConfigRequest = 67;
constexpr size_t kLogConfigAnswer = 71;
constexpr uint32_t kLogOpSet = 3;
constexpr uint32_t kLogOpRead = 4;
constexpr uint32_t kLogEquipment = 1;
constexpr uint32_t kLogLastItem = 403;
constexpr uint16_t kLastItems[kDiagLogMaskEquipments] = {0, 403, 0, 0, 0, 0, 0, 0, 0, 0};

// Activation state. `decided` is set exactly where the card's events settle the activation;
// the monitor looks at it rather than at the bare wake-up.
struct Activation {
    Activation() {
        pthread_mutex_init(&mutex, nullptr);
        pthread_condattr_t attr;
        pthread_condattr_init(&attr);
        pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
        pthread_cond_init(&cond, &attr);
        pthread_cond_init(&ended_cond, &attr);
        pthread_condattr_destroy(&attr);
    }
    pthread_mutex_t mutex;
    pthread_cond_t cond;        // a decision, or a stop request
    pthread_cond_t ended_cond;  // the monitor ended
    uint8_t success = 0;
    uint8_t done = 0;
    uint32_t retries = 0;
    bool decided = false;
    bool stop = false;
    bool running = false;   // from ActivateDevice's reservation until the monitor ends
    bool joinable = false;  // a monitor thread to join
    pthread_t thread{};
};

Activation g_act;
pthread_mutex_t g_log_mutex = PTHREAD_MUTEX_INITIALIZER;  // one mask edit at a time
uint8_t g_log_mask[kDiagLogMaskBuffer];

void raise6(uint16_t code) {
    diag_raise_event(kEventTypeState, code, 0, nullptr);
}

// Records a decision, raises its event, and only then wakes the monitor: whoever waits
// for the monitor's end has seen every event the decision raised.
void decide(bool set_success, bool set_done, uint16_t event_code) {
    pthread_mutex_lock(&g_act.mutex);
    if (set_success) g_act.success = 1;
    if (set_done) g_act.done = 1;
    pthread_mutex_unlock(&g_act.mutex);
    raise6(event_code);
    pthread_mutex_lock(&g_act.mutex);
    g_act.decided = true;
    pthread_cond_broadcast(&g_act.cond);
    pthread_mutex_unlock(&g_act.mutex);
}

void on_2560(uint8_t v) {
    static const uint8_t kValues[] = {1, 4, 5, 6, 7, 10, 11, 12, 13};
    static const uint16_t kCodes[] = {0, 4, 5, 7, 8, 2, 3, 9, 10};
    for (size_t i = 0; i < sizeof kValues; ++i)
        if (kValues[i] == v) return raise6(kCodes[i]);
    if (v == 14) {
        decide(true, false, 11);
    } else if (v == 15) {
        decide(false, false, 12);
    }
}

void on_2562(const uint8_t *p, size_t n) {
    if (n < 1) return;
    switch (p[0]) {
        case 2: {
            pthread_mutex_lock(&g_act.mutex);
            bool gave_up = g_act.retries > 2;
            if (gave_up) {
                // Only marks the activation done: the monitor ends at its next CM pass.
                g_act.done = 1;
                g_act.success = 0;
            }
            pthread_mutex_unlock(&g_act.mutex);
            raise6(gave_up ? 15 : 0);
            break;
        }
        case 7:
            raise6(0);
            break;
        case 5:
            pthread_mutex_lock(&g_act.mutex);
            ++g_act.retries;
            pthread_mutex_unlock(&g_act.mutex);
            raise6(14);
            break;
        case 11: {
            if (n < 5) return;  // the word after the value is missing
            bool failed = get_le32(p + 1) != 0;
            decide(!failed, true, failed ? 12 : 11);
            break;
        }
        default:
            break;
    }
}

void on_2574(const uint8_t *p, size_t n) {
    if (n < 9 || !gCallbacks[kEventTypeCall].load()) return;
    uint8_t v = p[1];
    if (v <= 3 || (v >= 7 && v <= 11)) {
        diag_raise_event(kEventTypeCall, 29, v, nullptr);
    } else if (v == 12) {
        uint16_t w = get_le16(p + 4);
        if (w == 5)
            diag_raise_event(kEventTypeCall, 30, 0, nullptr);
        else if (w == 4 && (p[8] == 7 || p[8] == 9))
            diag_raise_event(kEventTypeCall, 31, 0, nullptr);
    }
}

void handle_event(uint16_t id, unsigned code, const uint8_t *p, size_t n) {
    switch (id) {
        case 298:
            diag_raise_event(kEventTypeGeneric, 28, 0, nullptr);
            break;
        case 2560:
            if (code == 1 && n == 1) on_2560(p[0]);
            break;
        case 2562:
            if (code == 3) on_2562(p, n);
            break;
        case 2565:
            if (code == 3 && n >= 3)
                diag_raise_event(kEventTypeCallEnd, p[1] && !p[2] ? 22 : 23, 0, nullptr);
            break;
        case 2574:
            if (code == 3) on_2574(p, n);
            break;
        default:
            break;
    }
}

// The monitor: wakes at a decision or every 4 s to look at the call manager's state.
void *monitor(void *) {
    int cm_failures = 0;
    uint32_t carrier = g_diag.carrier_id;
    for (;;) {
        pthread_mutex_lock(&g_act.mutex);
        unsigned long deadline = env_now_ms() + kMonitorPassMs;
        bool timed_out = false;
        while (!g_act.decided && !g_act.stop && !timed_out)
            timed_out = env_cond_wait_until(&g_act.cond, &g_act.mutex, deadline) == ETIMEDOUT;
        bool end = g_act.decided || g_act.stop;
        pthread_mutex_unlock(&g_act.mutex);
        if (end) break;
        // The CM read runs with the activation mutex released: the reader thread, which
        // delivers its answer, may need that mutex for an event meanwhile.
        uint8_t cm[kDiagCmStateSize];
        if (Diag_Subsys_Get_CM_State_Info(cm) != kDiagOk) {
            if (++cm_failures >= kCmFailuresToGiveUp) {
                raise6(13);
                break;
            }
            continue;
        }
        pthread_mutex_lock(&g_act.mutex);
        uint8_t success = g_act.success, done = g_act.done;
        pthread_mutex_unlock(&g_act.mutex);
        if (carrier == 1) {
            if (get_le32(cm) == 0) {  // no call any more
                if (!success) raise6(12);
                break;
            }
            raise6(1);
        } else {
            raise6(1);
            if (done) break;
        }
    }
    pthread_mutex_lock(&g_act.mutex);
    g_act.running = false;
    pthread_cond_broadcast(&g_act.ended_cond);
    pthread_mutex_unlock(&g_act.mutex);
    return nullptr;
}

// Joins a monitor that has ended (activation mutex not held).
void join_ended() {
    pthread_mutex_lock(&g_act.mutex);
    bool join = g_act.joinable && !g_act.running;
    pthread_t t = g_act.thread;
    if (join) g_act.joinable = false;
    pthread_mutex_unlock(&g_act.mutex);
    if (join) pthread_join(t, nullptr);
}

bool dial_text_ok(const char *digits, size_t length) {
    if (!digits || length < 1 || length > kMaxDialDigits) return false;
    for (size_t i = 0; i < length; ++i) {
        char c = digits[i];
        if (!((c >= '0' && c <= '9') || c == '*' || c == '#')) return false;  // NUL included
    }
    return digits[length] == '\0';
}

int vendor_op(uint16_t command, unsigned operation, uint8_t *out, size_t out_len) {
    if (!out || operation > 255) return kDiagNullArgument;
    uint8_t request[kDiagRequestBuffer] = {};
    diag_put_subsys_header(request, diag_vendor_subsys_id(), command);
    request[4] = static_cast<uint8_t>(operation);
    DiagResponse response;
    int status = diag_subsys_transact(request, 5, 5, 4 + out_len, &response);
    if (status == kDiagOk) std::memcpy(out, response.data() + 4, out_len);
    return status;
}

int log_edit(int log_code, int on) {
    if (log_code != kDiagAllLogCodes &&
        (((static_cast<unsigned>(log_code) >> 12) & 0xF) != kLogEquipment ||
         (log_code & 0xFFF) > static_cast<int>(kLogLastItem) || log_code < 0))
        return kDiagNullArgument;  // only equipment 1's mask goes to the card
    if (pthread_mutex_lock(&g_log_mutex) != 0) return kDiagLockFailed;
    std::memset(g_log_mask, 0, sizeof g_log_mask);
    uint8_t request[kLogConfigRequest + 2] = {kLogConfigCommand};
    put_le32(request + 4, kLogOpRead);
    put_le32(request + 8, kLogEquipment);
    put_le32(request + 12, kLogLastItem);
    uint16_t at = g_diag.log_mask_offsets[kLogEquipment];
    int status;
    {
        DiagResponse response;
        status = diag_transact(request, kLogConfigRequest, 7, &response);
        if (status != kDiagOk || response.size() < kLogConfigAnswer ||
            response.data()[0] != kLogConfigCommand || get_le32(response.data() + 8) != 0) {
            pthread_mutex_unlock(&g_log_mutex);
            return kDiagNotSupported;
        }
        std::memcpy(g_log_mask + at, response.data() + 20, kDiagLogMaskEq1);
    }
    status = log_config_mask(log_code, on);
    if (status == kDiagOk) {
        std::memset(request, 0, sizeof request);
        request[0] = kLogConfigCommand;
        put_le32(request + 4, kLogOpSet);
        put_le32(request + 8, kLogEquipment);
        put_le32(request + 12, kLogLastItem);
        std::memcpy(request + 16, g_log_mask + at, kDiagLogMaskEq1);
        DiagResponse response;
        status = diag_transact(request, kLogConfigRequest, 5, &response);
        if (status == kDiagOk && (response.size() < 12 || response.data()[0] != kLogConfigCommand ||
                                  get_le32(response.data() + 8) != 0))
            status = kDiagMismatch;
    }
    pthread_mutex_unlock(&g_log_mutex);
    return status;
}

}  // namespace

void diag_event_report_parse(const uint8_t *body, size_t len) {
    if (len < 2) return;
    size_t n = get_le16(body);
    size_t end = 2 + (n < len - 2 ? n : len - 2);  // within both n and the packet
    size_t pos = 2;
    while (end - pos >= 2) {
        uint16_t word = get_le16(body + pos);
        uint16_t id = word & 0x0FFF;
        unsigned code = (word >> 13) & 3;
        size_t stamp = (word & 0x8000) ? 2 : 8;
        size_t at = pos + 2 + stamp;
        if (at > end) return;
        size_t payload;
        const uint8_t *p;
        if (code == 3) {
            if (at + 1 > end) return;
            payload = body[at];
            p = body + at + 1;
            at += 1;
        } else {
            payload = code;
            p = body + at;
        }
        if (payload > end - at) return;  // an event running past the report ends the walk
        handle_event(id, code, p, payload);
        pos = at + payload;
    }
}

void diag_activation_init() {
    diag_set_event_report_parser(diag_event_report_parse);
}

int Diag_Start_Origination_Call(const char *digits, size_t length, uint16_t value) {
    if (!dial_text_ok(digits, length)) return kDiagNullArgument;
    uint8_t request[kDiagRequestBuffer] = {kOriginationCommand, static_cast<uint8_t>(length)};
    std::memcpy(request + 2, digits, length);
    put_le16(request + 34, value);
    DiagResponse response;
    int status = diag_transact(request, kOriginationLength, 7, &response);
    if (status == kDiagOk && response.data()[0] != kOriginationCommand) status = kDiagMismatch;
    return status;
}

int Diag_IOTA_CMD(unsigned operation, uint8_t *out256) {
    return vendor_op(kIotaCommand, operation, out256, kIotaOut);
}

int diag_oma_cmd(unsigned operation, uint8_t *out5) {
    return vendor_op(kOmaCommand, operation, out5, kOmaOut);
}

int diag_oma_config_get(uint8_t *a, uint8_t *b, uint8_t *c, uint8_t *d, uint16_t *e,
                        uint16_t *err) {
    if (!a && !b && !c && !d && !e) return kDiagNullArgument;
    diag_nv_record r;
    int status = diag_nv_read_item(kOmaConfigItem, -1, &r, err);
    if (status != kDiagOk) return status;
    if (a) *a = r.item_data[0] != 0;
    if (b) *b = r.item_data[1] != 0;
    if (c) *c = r.item_data[2] != 0;
    if (d) *d = r.item_data[3];
    if (e) *e = get_le16(r.item_data + 4);
    return kDiagOk;
}

int diag_activation_ctl_get(uint8_t *out, uint16_t *err) {
    if (!out) return kDiagNullArgument;
    if (g_diag.model_flag == 0) return kDiagNotSupported;
    diag_nv_record r;
    int status = diag_nv_read_item(kActivationCtlItem, -1, &r, err);
    if (status == kDiagOk) *out = r.item_data[7];
    return status;
}

int ActivateDevice(const char *dial_string) {
    join_ended();
    pthread_mutex_lock(&g_act.mutex);
    if (g_act.running) {
        pthread_mutex_unlock(&g_act.mutex);
        return kDiagActivationBusy;
    }
    g_act.running = true;  // reserved: a second caller gets 1 from here on
    g_act.success = 0;
    g_act.done = 0;
    g_act.retries = 0;
    g_act.decided = false;
    g_act.stop = false;
    pthread_mutex_unlock(&g_act.mutex);

    int status;
    uint8_t scratch[kIotaOut];
    switch (g_diag.carrier_id) {
        case 1:
            status = dial_string ? Diag_Start_Origination_Call(
                                       dial_string, strnlen(dial_string, 64), kOriginationValue)
                                 : kDiagNullArgument;
            break;
        case 2:
            status = Diag_IOTA_CMD(2, scratch);
            break;
        case 0:
            status = kDiagNoCarrier;
            break;
        default:
            status = kDiagLockFailed;
            break;
    }
    pthread_mutex_lock(&g_act.mutex);
    if (status == kDiagOk) {
        if (pthread_create(&g_act.thread, nullptr, monitor, nullptr) == 0)
            g_act.joinable = true;
        else
            status = kLoaderThreadFailed;
    }
    if (status != kDiagOk) g_act.running = false;
    pthread_mutex_unlock(&g_act.mutex);
    return status;
}

bool diag_activation_wait(unsigned long deadline_ms, uint8_t *success_out) {
    pthread_mutex_lock(&g_act.mutex);
    bool timed_out = false;
    while (g_act.running && !timed_out)
        timed_out = env_cond_wait_until(&g_act.ended_cond, &g_act.mutex, deadline_ms) == ETIMEDOUT;
    bool ended = !g_act.running;
    if (success_out) *success_out = g_act.success;
    pthread_mutex_unlock(&g_act.mutex);
    if (ended) join_ended();
    return ended;
}

void diag_activation_stop() {
    pthread_mutex_lock(&g_act.mutex);
    g_act.stop = true;
    pthread_cond_broadcast(&g_act.cond);
    pthread_mutex_unlock(&g_act.mutex);
    (void)diag_activation_wait(env_now_ms() + 3600000ul, nullptr);
}

void diag_activation_items(uint8_t *success, uint8_t *done, uint32_t *retries) {
    pthread_mutex_lock(&g_act.mutex);
    if (success) *success = g_act.success;
    if (done) *done = g_act.done;
    if (retries) *retries = g_act.retries;
    pthread_mutex_unlock(&g_act.mutex);
}

int log_config_mask(int log_code, int on) {
    if (log_code == kDiagAllLogCodes) {
        std::memset(g_log_mask, on ? 0xFF : 0, sizeof g_log_mask);
        return kDiagOk;
    }
    if (log_code < 0) return kDiagNullArgument;
    unsigned equipment = (static_cast<unsigned>(log_code) >> 12) & 0xF;
    unsigned item = static_cast<unsigned>(log_code) & 0xFFF;
    if (equipment >= kDiagLogMaskEquipments || item > kLastItems[equipment])
        return kDiagNullArgument;
    size_t byte = g_diag.log_mask_offsets[equipment] + item / 8;
    if (byte >= sizeof g_log_mask) return kDiagNullArgument;
    uint8_t bit = static_cast<uint8_t>(1u << (item % 8));
    if (on)
        g_log_mask[byte] = static_cast<uint8_t>(g_log_mask[byte] | bit);
    else
        g_log_mask[byte] = static_cast<uint8_t>(g_log_mask[byte] & ~bit);
    return kDiagOk;
}

int EnableLog(int log_code) {
    return log_edit(log_code, 1);
}

int DisableLog(int log_code) {
    return log_edit(log_code, 0);
}

const uint8_t *diag_log_mask() {
    return g_log_mask;
}
