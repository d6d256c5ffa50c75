#include "modemd/diag/diag_transaction.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/bytes.h"
#include "modemd/diag/diag_crc.h"
#include "modemd/diag/diag_engine.h"
#include "modemd/diag/diag_hdlc.h"
#include "modemd/diag/diag_status.h"
#include "modemd/port_capture.h"
#include "platform/env.h"
#include "platform/utils.h"

namespace {

constexpr uint8_t kDiagLogCommand = 0x10;
constexpr int kDefaultWaitSeconds = 15;

// Writes all of buf, or reports that it could not.
bool write_whole(int fd, const uint8_t *buf, size_t len) {
    if (fd < 0) return false;
    ssize_t n;
    do {
        n = write(fd, buf, len);
    } while (n < 0 && errno == EINTR);
    if (n > 0) port_capture_sent(buf, static_cast<size_t>(n));
    return n == static_cast<ssize_t>(len);
}

// The status a DIAG error response stands for, or -1 when `code` is no error response.
int error_status(uint8_t code) {
    switch (code) {
        case 0x13:
            return kDiagBadCommand;
        case 0x14:
            return kDiagBadParams;
        case 0x15:
            return kDiagBadLength;
        case 0x18:
            return kDiagBadMode;
        case 0x42:
            return kDiagBadSpcMode;
        case 0x47:
            return kDiagBadSecurityMode;
        default:
            return -1;
    }
}

// Looks through the stored packets for the answer to `command`. Returns true when one decides
// the transaction, with its status in *status (and, for a response, the copy in *out).
bool scan_packets(uint8_t command, uint16_t log_code, int *status, uint8_t **out,
                  uint32_t *out_len) {
    PacketList &list = g_diag.packets;
    if (list.lock() != 0) return false;
    bool decided = false;
    list.reset_current_index();
    for (packet_node *p = list.get_current_packet(); p && !decided; p = list.get_current_packet()) {
        const uint8_t *d = p->data;
        uint32_t n = p->length;
        int err = error_status(d[0]);
        if (err >= 0) {
            // An error response echoes the request after its own code.
            bool echoes = n >= 2 && d[1] == command &&
                          (command != kDiagLogCommand || (n >= 9 && get_le16(d + 7) == log_code));
            *status = echoes ? err : kDiagMismatch;
            decided = true;
        } else if (d[0] == command &&
                   (command != kDiagLogCommand || (n >= 8 && get_le16(d + 6) == log_code))) {
            uint8_t *copy = static_cast<uint8_t *>(malloc(n));
            if (!copy) continue;  // skipped, as if it had not come
            std::memcpy(copy, d, n);
            *out = copy;
            *out_len = n;
            *status = kDiagOk;
            decided = true;
        }
    }
    list.unlock();
    return decided;
}

}  // namespace

int diag_send_frame(uint8_t *request, size_t length) {
    static uint8_t frame[2048];  // guarded by the send mutex
    if (length > kDiagMaxRequest) return kDiagWriteFailed;
    uint16_t fcs = crc_16_l_calc(request, static_cast<uint16_t>(length * 8));
    request[length] = static_cast<uint8_t>(fcs);
    request[length + 1] = static_cast<uint8_t>(fcs >> 8);
    if (diag_trace) diag_trace_dump("DIAG REQ", request, length);
    int n = stuff_frame(request, length + kDiagFcsBytes, 0, frame, sizeof frame);
    if (n < 0) return kDiagWriteFailed;
    return write_whole(g_diag.port_fd, frame, static_cast<size_t>(n)) ? kDiagOk : kDiagWriteFailed;
}

void diag_begin_request() {
    g_bSendInProcess = 1;
    (void)g_diag.packets.flush_list();
}

void diag_end_request() {
    g_bSendInProcess = 0;
    (void)g_diag.packets.flush_list();
}

int diag_wait_response(uint8_t command, uint8_t **response_out, uint32_t *length_out,
                       uint16_t log_code, int timeout_seconds) {
    *response_out = nullptr;
    *length_out = 0;
    if (timeout_seconds <= 0) timeout_seconds = kDefaultWaitSeconds;
    if (pthread_mutex_lock(&g_diag.response_mutex) != 0) return kDiagLockFailed;
    // One deadline for the whole wait: packets that decide nothing do not extend it.
    unsigned long deadline = env_now_ms() + static_cast<unsigned long>(timeout_seconds) * 1000ul;
    int status = kDiagLockFailed;
    for (;;) {
        while (!g_diag.response_ready) {
            int rc = env_cond_wait_until(&g_diag.response_cond, &g_diag.response_mutex, deadline);
            if (rc == ETIMEDOUT && !g_diag.response_ready) {
                pthread_mutex_unlock(&g_diag.response_mutex);
                return kDiagTimeout;
            }
        }
        g_diag.response_ready = 0;
        if (scan_packets(command, log_code, &status, response_out, length_out)) break;
    }
    pthread_mutex_unlock(&g_diag.response_mutex);
    return status;
}

int diag_transact(uint8_t *request, size_t length, int timeout_seconds, DiagResponse *response,
                  uint16_t log_code) {
    if (pthread_mutex_lock(&g_diag.send_mutex) != 0) return kDiagLockFailed;
    diag_begin_request();
    int status = diag_send_frame(request, length);
    if (status == kDiagOk)
        status = diag_wait_response(request[0], response->data_out(), response->size_out(),
                                    log_code, timeout_seconds);
    diag_end_request();
    pthread_mutex_unlock(&g_diag.send_mutex);
    return status;
}

namespace {

template <typename Send>
int send_unanswered(Send send) {
    if (pthread_mutex_lock(&g_diag.send_mutex) != 0) return kDiagLockFailed;
    diag_begin_request();
    int status = send();
    diag_end_request();
    pthread_mutex_unlock(&g_diag.send_mutex);
    return status;
}

}  // namespace

int diag_prepare_n_send_req(uint8_t *data, size_t length) {
    return send_unanswered([&] { return diag_send_frame(data, length); });
}

int diag_send_hdlc_dm_req(const uint8_t *data, size_t length) {
    return send_unanswered(
        [&] { return write_whole(g_diag.port_fd, data, length) ? kDiagOk : kDiagWriteFailed; });
}
