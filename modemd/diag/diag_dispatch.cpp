#include "modemd/diag/diag_dispatch.h"

#include <atomic>

#include "common/bytes.h"
#include "modemd/diag/diag_engine.h"
#include "platform/utils.h"

namespace {

constexpr uint8_t kLogPacket = 0x10;
constexpr uint8_t kEventReport = 0x60;

std::atomic<diag_event_report_parser_t> g_event_report_parser{nullptr};
std::atomic<bool> g_log_capture{false};

void store_response(const uint8_t *packet, size_t len) {
    if (!g_bSendInProcess) return;
    g_diag.packets.add(packet, static_cast<uint32_t>(len));
    pthread_mutex_lock(&g_diag.response_mutex);
    g_diag.response_ready = 1;
    pthread_cond_signal(&g_diag.response_cond);
    pthread_mutex_unlock(&g_diag.response_mutex);
}

void dispatch_sink(void *, const uint8_t *packet, size_t len, bool good) {
    if (good) diag_dispatch_frame(packet, len);
}

}  // namespace

void diag_set_event_report_parser(diag_event_report_parser_t parser) {
    g_event_report_parser = parser;
}

void diag_set_log_capture(bool on) {
    g_log_capture = on;
}

bool diag_log_capture() {
    return g_log_capture;
}

void diag_dispatch_frame(const uint8_t *packet, size_t len) {
    if (len == 0) return;  // a frame of only the check bytes carries nothing
    if (diag_trace) diag_trace_dump("DIAG RSP", packet, len);
    switch (packet[0]) {
        case kLogPacket:
            if (g_log_capture && len >= 8 && get_le16(packet + 6) == kDiagCapturedLogCode)
                store_response(packet, len);
            break;
        case kEventReport: {
            if (diag_event_report_parser_t parser = g_event_report_parser.load())
                parser(packet + 1, len - 1);
            // The answer to event-report control is a report of length 0.
            if (len < 3 || get_le16(packet + 1) == 0) store_response(packet, len);
            break;
        }
        default:
            store_response(packet, len);
            break;
    }
}

int diag_rx_process(diag_rx_buffer *buf) {
    return diag_rx_decode(buf, buf->raw, buf->raw_len, dispatch_sink, nullptr);
}
