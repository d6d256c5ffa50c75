#include "rmagent/timers.h"

#include <cstring>

#include "platform/nvram.h"
#include "rmagent/protocol.h"
#include "rmagent/register.h"
#include "rmagent/syslog_ring.h"
#include "rmagent/trace.h"
#include "rmagent/transport.h"

namespace {

void stop_session_timers() {
    del_event(&rcm_logsender);
    del_event(&rcm_keepalive);
    del_event(&rcm_gpssender);
}

// The session is dead: register again. The pending log report, if any, goes with it.
void reregister(rcm_session *s) {
    stop_session_timers();
    do_rcm_register(s);
}

}  // namespace

void rcm_keepalive_func(void *ctx) {
    rcm_session *s = static_cast<rcm_session *>(ctx);
    if (s->keepalive_misses++ >= 11) {
        rcm_debug("peer had been dead.\n");
        reregister(s);
        return;
    }
    rcm_debug("\nSend keepalive packet to server ... ");
    size_t len = rcm_build_header(s, kOidKeepalive, kKindRequest, 0);
    rcm_send(s, s->tx_buf, len);
    s->tx_len = static_cast<int>(len);
    s->ready = 0;
    rcm_arm(&rcm_keepalive, 3);
}

void rcm_logsender_func(void *ctx) {
    rcm_session *s = static_cast<rcm_session *>(ctx);
    if (s->ready != 1) {
        rcm_arm(&rcm_logsender, 1);
        return;
    }
    rcm_debug("\nSend log packet to server...");
    char *text = reinterpret_cast<char *>(s->tx_buf + kRcmHeaderLen);
    int size = get_system_log(text, kReportRoom);
    if (size <= 0) {
        rcm_debug("nothing!");
        rcm_arm(&rcm_logsender, 1);
        return;
    }
    rcm_build_header(s, kOidLog, kKindRequest, static_cast<uint16_t>(size));
    size_t len = kRcmHeaderLen + static_cast<size_t>(size);
    rcm_send(s, s->tx_buf, len);
    s->tx_len = static_cast<int>(len);
    std::memcpy(s->report_buf, s->tx_buf, len);
    s->report_len = static_cast<int>(len);
    s->ready = 0;
    rcm_arm(&rcm_retransmit, 3);
}

void rcm_gpssender_func(void *ctx) {
    rcm_session *s = static_cast<rcm_session *>(ctx);
    rcm_debug("\nSend gps packet to server...");
    size_t len = rcm_build_gps(s, nvram_safe_get("gps_lat"), nvram_safe_get("gps_long"));
    rcm_send(s, s->tx_buf, len);
    s->tx_len = static_cast<int>(len);
    s->ready = 0;
    rcm_arm(&rcm_gpssender, static_cast<unsigned long>(gps_send_interval));
}

void rcm_retransmit_func(void *ctx) {
    rcm_session *s = static_cast<rcm_session *>(ctx);
    if (s->retransmits++ < 4) {
        rcm_debug("retransmit! ");
        if (s->report_len > 0)
            rcm_send(s, s->report_buf, static_cast<size_t>(s->report_len));
        else
            rcm_send(s, s->tx_buf, static_cast<size_t>(s->tx_len));
        rcm_arm(&rcm_retransmit, 3ul * static_cast<unsigned long>(s->retransmits));
        return;
    }
    rcm_debug("peer had dead.\n");
    s->report_len = 0;
    reregister(s);
}
