#include "rmagent/config_request.h"

#include "common/bytes.h"
#include "rmagent/cgi.h"
#include "rmagent/protocol.h"
#include "rmagent/trace.h"
#include "rmagent/transport.h"

void rcm_config_func(rcm_session *s) {
    rcm_header h;
    if (rcm_parse_header(s->rx_buf, static_cast<size_t>(s->rx_len), &h) != kRcmParsed) return;
    if (h.payloadlen < kBatchPrefixLen) {
        rcm_debug("config request without variable batch (payloadlen = %d) dropped \n",
                  h.payloadlen);
        return;
    }
    uint8_t *payload = s->rx_buf + kRcmHeaderLen;
    uint16_t variable_type = get_be16(payload);
    uint16_t unit = get_be16(payload + 2);
    rcm_debug("payloadlen = %d ,variable_type = %d\n", h.payloadlen, variable_type);
    (void)init_cgi(nullptr, 0);  // only empties the table: cannot fail
    // rx_buf has a byte beyond the largest datagram: the text can always be ended.
    char *text = reinterpret_cast<char *>(payload + kBatchPrefixLen);
    if (init_cgi(text, h.payloadlen - kBatchPrefixLen) < 0) {
        // Not acknowledged: the server sends the batch again.
        rcm_debug("config request: no memory for %d bytes of variables, dropped\n", h.payloadlen);
        return;
    }
    rcm_debug("cgi count = %d \n", count_cgi());
    do_upgrade_cgi(unit);
    size_t len = rcm_build_ack(s, s->rx_buf);
    if (rcm_send_to(s, s->tx_buf, len, s->reply_addr) < 0) rcm_debug("sendto fail .. \n");
}
