#include "rmagent/batch.h"

#include <cstdlib>
#include <cstring>

#include "common/bytes.h"
#include "rmagent/protocol.h"
#include "rmagent/status.h"
#include "rmagent/transport.h"

var_text var_text_start(rcm_session *s) {
    return {reinterpret_cast<char *>(s->tx_buf + kRcmHeaderLen + kBatchPrefixLen), 0};
}

namespace {

void append(var_text *t, const char *text, size_t n) {
    size_t room = kBatchTextRoom - 1 - t->len;  // one byte stays for the entry's NUL
    if (n > room) n = room;
    memcpy(t->buf + t->len, text, n);
    t->len += n;
}

}  // namespace

void var_text_add(var_text *t, const char *name, const char *value) {
    append(t, name, strlen(name));
    append(t, "=", 1);
    append(t, value, strlen(value));
    t->buf[t->len++] = '\0';
}

void var_text_add_entry(var_text *t, const char *entry) {
    append(t, entry, strlen(entry));
    t->buf[t->len++] = '\0';
}

int send_variable_param(rcm_session *s, uint16_t oid, uint16_t variable_type, uint16_t unit,
                        const char *text, size_t length) {
    if (length > kBatchTextRoom) return -1;
    uint8_t *payload = s->tx_buf + kRcmHeaderLen;
    memmove(payload + kBatchPrefixLen, text, length);
    put_be16(payload, variable_type);
    put_be16(payload + 2, unit);
    rcm_build_header(s, oid, kKindRequest, static_cast<uint16_t>(length + kBatchPrefixLen));
    size_t len = kRcmHeaderLen + kBatchPrefixLen + length;
    for (int sends = 0; sends < 4; ++sends) {
        if (rcm_send(s, s->tx_buf, len) < 0) return -1;
        int r = rcm_await_reply(s);
        if (r < 0) return -1;
        if (r > 0) {
            s->ready = 1;
            s->retransmits = 0;
            return 0;
        }
    }
    return -1;
}

int var_text_flush_full(rcm_session *s, var_text *t, uint16_t oid, uint16_t variable_type,
                        uint16_t unit) {
    if (t->len < kBatchThreshold) return 0;
    return var_text_flush(s, t, oid, variable_type, unit);
}

int var_text_flush(rcm_session *s, var_text *t, uint16_t oid, uint16_t variable_type,
                   uint16_t unit) {
    if (t->len == 0) return 0;
    size_t len = t->len;
    t->len = 0;
    return send_variable_param(s, oid, variable_type, unit, t->buf, len);
}

namespace {

int send_rows(rcm_session *s, const variable_row *table, uint16_t oid, int unit_kind, int unit) {
    var_text t = var_text_start(s);
    uint16_t type = static_cast<uint16_t>(unit_kind);
    uint16_t wire_unit = static_cast<uint16_t>(unit_kind == kUnitPlain ? 0 : unit);
    for (const variable_row *row = table; row->name; ++row) {
        if (row->unit_kind != unit_kind) continue;
        char *value = row->getter(unit, row);
        var_text_add(&t, row->name, value ? value : "");
        free(value);
        if (var_text_flush_full(s, &t, oid, type, wire_unit) < 0) return -1;
    }
    return var_text_flush(s, &t, oid, type, wire_unit);
}

}  // namespace

int do_send_single_variable(rcm_session *s, const variable_row *table, uint16_t oid) {
    return send_rows(s, table, oid, kUnitPlain, 0);
}

int do_send_multiple_variable(rcm_session *s, const variable_row *table, uint16_t oid,
                              int unit_kind, int units) {
    for (int unit = 0; unit < units; ++unit)
        if (send_rows(s, table, oid, unit_kind, unit) < 0) return -1;
    return 0;
}

int do_config_send(rcm_session *s) {
    if (do_send_single_variable(s, config_variables, kOidConfigBatch) < 0) return -1;
    if (do_send_multiple_variable(s, config_variables, kOidConfigBatch, kUnitWireless, 1) < 0)
        return -1;
    return do_send_multiple_variable(s, config_variables, kOidConfigBatch, kUnitWan, 1);
}

int do_information_send(rcm_session *s) {
    if (do_send_single_variable(s, information_variables, kOidStatusBatch) < 0) return -1;
    if (do_send_multiple_variable(s, information_variables, kOidStatusBatch, kUnitWan, 1) < 0)
        return -1;
    if (do_send_dhcp_status(s, kOidStatusBatch) < 0) return -1;
    return do_send_wl_stalist(s, kOidStatusBatch);
}
