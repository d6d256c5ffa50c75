#include "rmagent/protocol.h"

#include <arpa/inet.h>

#include <cstdio>
#include <cstring>

#include "common/bytes.h"

namespace {

// Copies at most `width` characters of `text`, NUL-padded (no terminator when full).
void put_padded(uint8_t *dst, const char *text, size_t width) {
    size_t n = strnlen(text, width);
    std::memcpy(dst, text, n);
    std::memset(dst + n, 0, width - n);
}

void put_fields(rcm_session *s, uint16_t oid, uint16_t kind, uint16_t payloadlen) {
    uint8_t *p = s->tx_buf;
    put_padded(p + 12, s->serial, 12);
    put_be32(p + 24, s->seq);
    put_be16(p + 28, oid);
    put_be16(p + 30, kind);
    put_be16(p + 32, kAgentMagic);
    put_be16(p + 34, payloadlen);
}

}  // namespace

RcmParse rcm_parse_header(const uint8_t *buf, size_t len, rcm_header *out) {
    if (len < kRcmHeaderLen) return kRcmTooShort;
    out->seq = get_be32(buf + 24);
    out->oid = get_be16(buf + 28);
    out->kind = get_be16(buf + 30);
    out->magic = get_be16(buf + 32);
    out->payloadlen = get_be16(buf + 34);
    if (kRcmHeaderLen + out->payloadlen > len) return kRcmBadLength;
    return kRcmParsed;
}

size_t rcm_build_header(rcm_session *s, uint16_t oid, uint16_t kind, uint16_t payloadlen) {
    std::memcpy(s->tx_buf, s->session_id, sizeof s->session_id);
    put_fields(s, oid, kind, payloadlen);
    return kRcmHeaderLen;
}

size_t rcm_build_register(rcm_session *s, uint32_t uptime, const char *wan_ipaddr) {
    uint8_t *p = s->tx_buf;
    std::memset(p, 0, 8);
    const uint8_t version[4] = {0x00, 0x01, 0x00, 0x00};
    std::memcpy(p + 8, version, sizeof version);
    put_fields(s, kOidRegister, kKindRequest, kRegisterRecordLen);
    uint8_t *rec = p + kRcmHeaderLen;
    put_be32(rec, uptime);
    put_le32(rec + 4, static_cast<uint32_t>(inet_network(wan_ipaddr ? wan_ipaddr : "")));
    put_padded(rec + 8, s->domain, 64);
    put_padded(rec + 72, s->fw_version, 64);
    put_padded(rec + 136, s->product_model, 64);
    return kRcmHeaderLen + kRegisterRecordLen;
}

size_t rcm_build_ack(rcm_session *s, const uint8_t *request) {
    std::memmove(s->tx_buf, request, kRcmHeaderLen);
    put_be16(s->tx_buf + 30, kKindAck);
    put_be16(s->tx_buf + 32, kAgentMagic);
    put_be16(s->tx_buf + 34, 0);
    return kRcmHeaderLen;
}

size_t rcm_build_gps(rcm_session *s, const char *lat, const char *lon) {
    char *text = reinterpret_cast<char *>(s->tx_buf + kRcmHeaderLen);
    int n = snprintf(text, kReportRoom, "lat=%s;long=%s", lat, lon);
    size_t len = n < 0 ? 0 : static_cast<size_t>(n);
    if (len >= kReportRoom) len = kReportRoom - 1;  // cut: the NUL still fits
    rcm_build_header(s, kOidGps, kKindGps, static_cast<uint16_t>(len + 1));
    return kRcmHeaderLen + len + 1;
}

size_t rcm_build_fragment_request(rcm_session *s, uint16_t index) {
    rcm_build_header(s, kOidFragment, kKindFragment, 4);
    uint8_t *payload = s->tx_buf + kRcmHeaderLen;
    put_be16(payload, index);
    put_be16(payload + 2, 0);
    ++s->seq;
    return kRcmHeaderLen + 4;
}
