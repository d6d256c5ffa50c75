#include "rmagent/register.h"

#include <sys/socket.h>
#include <unistd.h>

#include <initializer_list>

#include "platform/env.h"
#include "platform/eventloop.h"
#include "platform/nvram.h"
#include "rmagent/batch.h"
#include "rmagent/handler.h"
#include "rmagent/ports.h"
#include "rmagent/protocol.h"
#include "rmagent/trace.h"
#include "rmagent/transport.h"

namespace {

// One attempt: returns true once registered and both variable sends went through.
bool register_once(rcm_session *s) {
    size_t len = rcm_build_register(s, env_uptime(), nvram_safe_get("wan0_ipaddr"));
    rcm_debug("\nBegin to connect to RCM server ... ");
    for (;;) {
        if (rcm_send(s, s->tx_buf, len) < 0) return false;
        int r = rcm_await_reply(s);
        if (r > 0) break;
        rcm_debug("timeout .... \n");
        if (r < 0) return false;
    }
    rcm_debug("OK");
    s->ready = 1;
    s->retransmits = 0;
    s->keepalive_misses = 0;
    rcm_debug("\nBegin to send config to RCM server ... ");
    if (do_config_send(s) < 0) {
        rcm_debug("timeout .... \n");
        return false;
    }
    rcm_debug("OK");
    rcm_debug("\nBegin to send status to RCM server ... ");
    if (do_information_send(s) < 0) {
        rcm_debug("timeout .... \n");
        return false;
    }
    rcm_debug("OK\n");
    return true;
}

}  // namespace

void do_rcm_register(rcm_session *s) {
    while (!register_once(s))
        env_sleep(5);
    rcm_arm(&rcm_keepalive, 3);
    rcm_arm(&rcm_logsender, 1);
    rcm_arm(&rcm_gpssender, static_cast<unsigned long>(gps_send_interval));
}

int rcm_open(rcm_session *s) {
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        rcm_debug("socket() fail \n");
        return -1;
    }
    int on = 1;
    if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) < 0) {
        rcm_debug("setsockopt() fail \n");
        close(fd);
        return -1;
    }
    sockaddr_in local{};
    local.sin_family = AF_INET;
    int port = rcm_env_port("RMAGENT_PORT", kRcmAgentPort);
    if (port < 0 || !rcm_bind_addr(&local.sin_addr)) {
        rcm_debug("bind() fail \n");
        close(fd);
        return -1;
    }
    local.sin_port = htons(static_cast<uint16_t>(port));
    if (bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local) < 0) {
        rcm_debug("bind() fail \n");
        close(fd);
        return -1;
    }
    if (register_fd_desc(fd, rcm_handler, s) < 0) {
        close(fd);
        return -1;
    }
    s->sock = fd;
    for (event_timer *t : {&rcm_retransmit, &rcm_logsender, &rcm_gpssender, &rcm_keepalive})
        t->ctx = s;
    do_rcm_register(s);
    return fd;
}
