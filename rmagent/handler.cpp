#include "rmagent/handler.h"

#include <signal.h>

#include <cstring>

#include "platform/console.h"
#include "platform/nvram.h"
#include "platform/process.h"
#include "rmagent/batch.h"
#include "rmagent/config_request.h"
#include "rmagent/protocol.h"
#include "rmagent/trace.h"
#include "rmagent/transport.h"
#include "rmagent/upgrade.h"

namespace {

void take_ack(rcm_session *s, const rcm_header &h) {
    switch (h.oid) {
        case kOidLog:
            rcm_debug("Log OK");
            s->report_len = 0;
            rcm_arm(&rcm_logsender, 1);
            break;
        case kOidConfigBatch:
            rcm_debug("CONF OK");
            break;
        case kOidStatusBatch:
            rcm_debug("Status OK");
            break;
        case kOidKeepalive:
            rcm_debug("keepalive OK");
            s->keepalive_misses = 0;
            break;
        default:
            rcm_debug("unknown(%04x) ACK .... \n", h.oid);
            break;
    }
    ++s->seq;
    s->ready = 1;
    // A log report still awaiting its "Log OK" keeps its retransmissions: an acknowledgement
    // of something else must not cancel them, or the lines it carries would be lost.
    if (s->report_len > 0) return;
    s->retransmits = 0;
    del_event(&rcm_retransmit);
}

// SIGTERM to init, which reboots the router; then wait for the end. When init cannot be
// signalled nothing will end this process: it carries on serving instead of waiting for ever.
void reboot_router() {
    if (signal_init(SIGTERM) < 0) {
        console_printf("rmagent: init not signalled, no reboot\n");
        return;
    }
    env_reboot_wait();
}

// Reboots only once the working store is safe in flash: a reboot after a failed commit would
// throw away the configuration the server just sent.
void commit_then_reboot(const char *what) {
    if (int rc = nvram_commit(); rc < 0) {
        console_printf_limited("rmagent: %s: nvram commit failed (%s), not rebooting\n", what,
                               strerror(-rc));
        return;
    }
    reboot_router();
}

}  // namespace

int rcm_handler(fd_desc *desc) {
    rcm_session *s = static_cast<rcm_session *>(desc->ctx);
    int n = rcm_receive(s);
    if (n < 0) {
        rcm_debug("read fail .... \n");
        return -1;
    }
    if (!rcm_from_server(s)) return -1;
    rcm_header h;
    RcmParse parsed = rcm_parse_header(s->rx_buf, static_cast<size_t>(n), &h);
    if (parsed == kRcmTooShort) {
        rcm_debug("too short packet .. \n");
        return -1;
    }
    if (h.magic != kServerMagic) {
        rcm_debug("We are only to accept request packet \n");
        return -1;
    }
    if (parsed == kRcmBadLength) {
        rcm_debug("bad payloadlen %d (%d bytes received) .. \n", h.payloadlen, n);
        return -1;
    }
    switch (h.kind) {
        case 0:
        case 2:
            if (h.oid == kOidUpgrade) {
                rcm_debug("get upgradecmd ... \n");
                rcm_upgradecmd_func(s);
            } else if (h.oid == kOidConfig) {
                rcm_debug("get config .... \n");
                rcm_config_func(s);
            } else {
                rcm_generic_func(s);
            }
            break;
        case 1:
        case 3:
            take_ack(s, h);
            break;
        default:
            break;
    }
    return 0;
}

void rcm_generic_func(rcm_session *s) {
    size_t len = rcm_build_ack(s, s->rx_buf);
    if (rcm_send_to(s, s->tx_buf, len, s->reply_addr) < 0) rcm_debug("sendto fail .. \n");
    rcm_header h;
    if (rcm_parse_header(s->rx_buf, static_cast<size_t>(s->rx_len), &h) == kRcmTooShort) return;
    switch (h.oid) {
        case kOidCommitReboot:
            commit_then_reboot("commit and reboot");
            break;
        case kOidRestoreDefaults:
            if (int rc = nvram_set("restore_defaults", "1"); rc < 0) {
                console_printf_limited(
                    "rmagent: restore defaults: cannot set the flag (%s), not rebooting\n",
                    strerror(-rc));
                break;
            }
            commit_then_reboot("restore defaults");
            break;
        case kOidSendStatus:
            rcm_debug("\nSend status to server ... \n");
            if (do_information_send(s) < 0) rcm_debug("status not taken by the server .. \n");
            break;
        default:
            rcm_debug("unknown request with oid = %04x.... \n", h.oid);
            break;
    }
}

void do_system_reboot(void) {
    static bool started;
    if (started) return;
    started = true;
    char *killall[] = {const_cast<char *>("killall"), const_cast<char *>("-1"),
                       const_cast<char *>("pppd"), nullptr};
    // Best effort: pppd may not be running, and the reboot ends it anyway.
    (void)_eval(killall, ">/dev/console", 0, nullptr);
    int ret = nvram_commit();
    if (ret != 0) {
        console_printf("nvram_commit fail ,ret = %d \n", ret);
        return;
    }
    console_printf("nvram_commit ok\n");
    reboot_router();
}
