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
    // A lost send counts as a missed keepalive, as a lost datagram would.
    if (rcm_send(s, s->tx_buf, len) < 0) rcm_debug("sendto fail .. \n");
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
    // A failed send is retried by the retransmit timer armed below.
    if (rcm_send(s, s->tx_buf, len) < 0) rcm_debug("sendto fail .. \n");
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
    // The next report goes at the next interval, as after a lost datagram.
    if (rcm_send(s, s->tx_buf, len) < 0) rcm_debug("sendto fail .. \n");
    s->tx_len = static_cast<int>(len);
    s->ready = 0;
    rcm_arm(&rcm_gpssender, static_cast<unsigned long>(gps_send_interval));
}

void rcm_retransmit_func(void *ctx) {
    rcm_session *s = static_cast<rcm_session *>(ctx);
    if (s->retransmits++ < 4) {
        rcm_debug("retransmit! ");
        // A failed send counts as one more lost try.
        const uint8_t *buf = s->report_len > 0 ? s->report_buf : s->tx_buf;
        int len = s->report_len > 0 ? s->report_len : s->tx_len;
        if (rcm_send(s, buf, static_cast<size_t>(len)) < 0) rcm_debug("sendto fail .. \n");
        rcm_arm(&rcm_retransmit, 3ul * static_cast<unsigned long>(s->retransmits));
        return;
    }
    rcm_debug("peer had dead.\n");
    s->report_len = 0;
    reregister(s);
}
