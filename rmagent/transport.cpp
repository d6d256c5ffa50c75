#include "rmagent/transport.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

#include "platform/env.h"
#include "rmagent/protocol.h"
#include "rmagent/trace.h"

int rcm_send_to(rcm_session *s, const uint8_t *buf, size_t len, const sockaddr_in &to) {
    ssize_t n;
    do {
        n = sendto(s->sock, buf, len, 0, reinterpret_cast<const sockaddr *>(&to), sizeof to);
    } while (n < 0 && errno == EINTR);
    return n < 0 ? -1 : static_cast<int>(n);
}

int rcm_send(rcm_session *s, const uint8_t *buf, size_t len) {
    return rcm_send_to(s, buf, len, s->server);
}

int rcm_receive(rcm_session *s) {
    socklen_t alen = sizeof s->reply_addr;
    ssize_t n;
    do {
        n = recvfrom(s->sock, s->rx_buf, kRcmBufSize, MSG_DONTWAIT,
                     reinterpret_cast<sockaddr *>(&s->reply_addr), &alen);
    } while (n < 0 && errno == EINTR);
    s->rx_len = n < 0 ? 0 : static_cast<int>(n);
    s->rx_buf[s->rx_len] = 0;
    return n < 0 ? -1 : static_cast<int>(n);
}

bool rcm_from_server(rcm_session *s) {
    if (s->reply_addr.sin_family == AF_INET &&
        s->reply_addr.sin_addr.s_addr == s->server.sin_addr.s_addr)
        return true;
    char from[INET_ADDRSTRLEN] = "?";
    inet_ntop(AF_INET, &s->reply_addr.sin_addr, from, sizeof from);
    rcm_debug("drop packet from %s:%d, not the RCM server \n", from, ntohs(s->reply_addr.sin_port));
    return false;
}

int rcm_await_reply(rcm_session *s) {
    for (;;) {
        int r = waitfor(s->sock, 2);
        if (r <= 0) return r < 0 ? -1 : 0;
        int n = rcm_receive(s);
        if (n < 0 || !rcm_from_server(s)) continue;
        rcm_header h;
        if (rcm_parse_header(s->rx_buf, static_cast<size_t>(n), &h) != kRcmParsed) continue;
        if (h.seq != s->seq) continue;
        std::memcpy(s->session_id, s->rx_buf, sizeof s->session_id);
        return 1;
    }
}
