#include "rmagent/deskmgr.h"

#include <arpa/inet.h>
#include <errno.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "common/lan_records.h"
#include "platform/console.h"
#include "platform/nvram.h"
#include "rmagent/ports.h"

namespace {

int conns[kDeskmgrMaxConnections];
int nconns;

void close_connection(int fd) {
    if (unregister_fd_desc(fd) < 0) console_printf("deskmgr: connection %d not registered \n", fd);
    close(fd);
    for (int i = 0; i < nconns; ++i) {
        if (conns[i] != fd) continue;
        conns[i] = conns[--nconns];
        break;
    }
}

// "wan0_enable" unset or "1" and "wan0_wwan_mode" unset or "3": the link is ours to drive.
bool wwan_enabled() {
    const char *enable = nvram_get("wan0_enable");
    const char *mode = nvram_get("wan0_wwan_mode");
    return (!enable || strcmp(enable, "1") == 0) && (!mode || strcmp(mode, "3") == 0);
}

// Sends the 16-byte response; false when it did not all go out.
bool respond(int fd, const deskmgr_header &req, uint32_t result) {
    uint8_t out[kDeskmgrResponseSize];
    deskmgr_response_encode(req, result, out);
    ssize_t n = send(fd, out, sizeof out, MSG_NOSIGNAL);
    if (n == static_cast<ssize_t>(sizeof out)) return true;
    console_printf_limited("deskmgr: response not sent (%d) \n", static_cast<int>(n));
    return false;
}

uint32_t set_action(const char *action) {
    if (!wwan_enabled()) return 1;
    int rc = nvram_set("wan0_action", action);
    if (rc != 0) {
        console_printf("nvram_set wan0_action fail ,ret = %d \n", rc);
        return 1;
    }
    return 0;
}

int wwan_connect(fd_desc *desc, const deskmgr_header &req) {
    console_printf_limited("receive a wwan_connect request ! \n");
    if (respond(desc->fd, req, set_action("start")))
        console_printf_limited("send response packet ! \n");
    return 0;
}

int wwan_disconnect(fd_desc *desc, const deskmgr_header &req) {
    console_printf_limited("receive a wwan_disconnect request ! \n");
    (void)respond(desc->fd, req, set_action("stop"));  // a failed send has its console line
    return 0;
}

int wwan_status(fd_desc *desc, const deskmgr_header &req) {
    console_printf_limited("receive a status request ! \n");
    const char *status = nvram_get("wan0_status");
    (void)respond(desc->fd, req, status && strcmp(status, "down") == 0 ? 1 : 2);
    return 0;
}

// Accepted; no response.
int wwan_nothing(fd_desc *, const deskmgr_header &) {
    return 0;
}

struct deskmgr_command {
    uint16_t code;
    const char *name;
    int (*handler)(fd_desc *desc, const deskmgr_header &req);
};

const deskmgr_command deskmgr_command_table[] = {
    {1, "wwan_connect", wwan_connect},
    {2, "wwan_disconnect", wwan_disconnect},
    {3, "status", wwan_status},
    {4, "", wwan_nothing},
    {0, nullptr, nullptr},
};

int open_socket(int type) {
    int fd =
        socket(AF_INET, (type == 2 ? SOCK_STREAM : SOCK_DGRAM) | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        console_printf("socket() fail \n");
        return -1;
    }
    int on = 1;
    if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) < 0) {
        console_printf("setsockopt() fail \n");
        close(fd);
        return -1;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    int port = rcm_env_port("RMAGENT_DESKMGR_PORT", kDeskmgrPort);
    addr.sin_port = htons(static_cast<uint16_t>(port < 0 ? 0 : port));
    if (port < 0 || !rcm_bind_addr(&addr.sin_addr) ||
        bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) < 0) {
        console_printf("bind() fail \n");
        close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

int deskmgr_open(int type) {
    if (type != 1 && type != 2) {
        console_printf("Unknown socket type %d \n", type);
        return -1;
    }
    int fd = open_socket(type);
    if (fd < 0) return -1;
    if (type == 2 && listen(fd, 5) < 0) {
        console_printf("listen() fail \n");
        close(fd);
        return -1;
    }
    if (register_fd_desc(fd, deskmgr_handler, nullptr) < 0) {
        console_printf("deskmgr: no room in the event loop \n");
        close(fd);
        return -1;
    }
    return fd;
}

int deskmgr_handler(fd_desc *desc) {
    console_printf_limited("call deskmgr_handler ... \n");
    int fd = accept4(desc->fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
        // A datagram socket (type 1) has nothing to accept: its datagram is dropped, or it
        // would stay readable and the loop would spin on it.
        if (errno == EOPNOTSUPP) {
            uint8_t drop[1];
            (void)recv(desc->fd, drop, sizeof drop, MSG_DONTWAIT);  // dropped on purpose
        }
        return -1;
    }
    console_printf_limited("recevie connect request ! \n");
    if (nconns >= kDeskmgrMaxConnections) {
        console_printf_limited("too many connections (%d), closing the new one \n", nconns);
        close(fd);
        return -1;
    }
    if (register_fd_desc(fd, deskmgrp_rw_handler, nullptr) < 0) {
        console_printf_limited("deskmgr: no room in the event loop, closing the connection \n");
        close(fd);
        return -1;
    }
    conns[nconns++] = fd;
    return 0;
}

int deskmgrp_rw_handler(fd_desc *desc) {
    console_printf_limited("call deskmgrp_rw_handler ... \n");
    int fd = desc->fd;
    uint8_t buf[1024];
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return 0;
    deskmgr_header h{};
    // Each refusal keeps its own literal line, so that a rate limit by format holds back
    // each kind apart.
    bool refused = true;
    if (n <= 0) {
        console_printf_limited("read fail .... \n");
    } else {
        console_printf_limited("len = %d \n", static_cast<int>(n));
        deskmgr_verdict v = deskmgr_check(buf, static_cast<size_t>(n), &h);
        if (v == kDeskmgrTake || v == kDeskmgrNotRequest)
            console_printf_limited("msg_hdr->type = %02x (%d) \n", h.type, h.type);
        switch (v) {
            case kDeskmgrShort:
                console_printf_limited("too short packet .. \n");
                break;
            case kDeskmgrMismatch:
                console_printf_limited("mismatch length packet .. \n");
                break;
            case kDeskmgrNotRequest:
                console_printf_limited("We are only to accept request packet \n");
                break;
            case kDeskmgrTake:
                refused = false;
                break;
        }
    }
    if (refused) {
        close_connection(fd);
        return -1;
    }
    if (deskmgr_msg_dispatch(desc, buf, static_cast<size_t>(n)) < 0)
        console_printf_limited("unknown command %d, no response \n", h.command);
    return 0;
}

deskmgr_verdict deskmgr_check(const uint8_t *msg, size_t n, deskmgr_header *h) {
    if (!deskmgr_header_decode(msg, n, h)) return kDeskmgrShort;
    if (n < h->length) return kDeskmgrMismatch;
    return h->type == kDeskmgrRequest ? kDeskmgrTake : kDeskmgrNotRequest;
}

int deskmgr_msg_dispatch(fd_desc *desc, const uint8_t *msg, size_t len) {
    deskmgr_header h;
    if (!deskmgr_header_decode(msg, len, &h)) return -1;
    for (const deskmgr_command *c = deskmgr_command_table; c->code != 0; ++c)
        if (c->code == h.command) return c->handler(desc, h);
    return -1;
}

int deskmgr_connections(void) {
    return nconns;
}

void deskmgr_testing_close_all(void) {
    while (nconns > 0)
        close_connection(conns[0]);
}
