#include "rmagent/session.h"

#include <cstdlib>
#include <cstring>

#include "platform/nvram.h"
#include "rmagent/timers.h"

int debug;
int gps_send_interval = 60;

event_timer rcm_retransmit = {nullptr, nullptr, 0, 0, nullptr, rcm_retransmit_func};
event_timer rcm_logsender = {nullptr, nullptr, 0, 0, nullptr, rcm_logsender_func};
event_timer rcm_gpssender = {nullptr, nullptr, 0, 0, nullptr, rcm_gpssender_func};
event_timer rcm_keepalive = {nullptr, nullptr, 0, 0, nullptr, rcm_keepalive_func};

namespace {

void copy_nvram(char *dst, size_t room, const char *key) {
    std::strncpy(dst, nvram_safe_get(key), room - 1);
    dst[room - 1] = '\0';
}

}  // namespace

rcm_session *rcm_session_new(void) {
    rcm_session *s = static_cast<rcm_session *>(calloc(1, sizeof(rcm_session)));
    if (!s) return nullptr;
    s->sock = -1;
    s->rx_buf = static_cast<uint8_t *>(calloc(1, kRcmBufSize + 1));
    s->tx_buf = static_cast<uint8_t *>(calloc(1, kRcmBufSize));
    s->report_buf = static_cast<uint8_t *>(calloc(1, kRcmBufSize));
    if (!s->rx_buf || !s->tx_buf || !s->report_buf) {
        rcm_session_free(s);
        return nullptr;
    }
    copy_nvram(s->serial, sizeof s->serial, "SN");
    copy_nvram(s->fw_version, sizeof s->fw_version, "version_firmware");
    copy_nvram(s->product_model, sizeof s->product_model, "product_model");
    s->ready = 1;
    s->server.sin_family = AF_INET;
    return s;
}

void rcm_session_free(rcm_session *s) {
    if (!s) return;
    free(s->rx_buf);
    free(s->tx_buf);
    free(s->report_buf);
    free(s);
}

void rcm_read_gps_interval(void) {
    gps_send_interval = atoi(nvram_safe_get("gps_send_interval"));
    if (gps_send_interval < 10) gps_send_interval = 10;
}

void rcm_arm(event_timer *timer, unsigned long seconds) {
    del_event(timer);
    timer->delay = seconds;
    add_event(timer);
}
