#include "common/lan_records.h"

#include <cstring>

#include "common/bytes.h"

bool deskmgr_header_decode(const uint8_t *data, size_t len, deskmgr_header *out) {
    if (len < kDeskmgrHeaderSize) return false;
    out->tag = get_be32(data);
    out->command = get_be16(data + 4);
    out->spare = data[6];
    out->type = data[7];
    out->length = get_be32(data + 8);
    return true;
}

void deskmgr_header_encode(const deskmgr_header &h, uint8_t out[kDeskmgrHeaderSize]) {
    put_be32(out, h.tag);
    put_be16(out + 4, h.command);
    out[6] = h.spare;
    out[7] = h.type;
    put_be32(out + 8, h.length);
}

void deskmgr_response_encode(const deskmgr_header &request, uint32_t result,
                             uint8_t out[kDeskmgrResponseSize]) {
    deskmgr_header h = request;
    h.type = kDeskmgrResponse;
    h.length = kDeskmgrResponseSize;
    deskmgr_header_encode(h, out);
    put_be32(out + kDeskmgrHeaderSize, result);
}

namespace {

// Network-order address to and from its 4 wire bytes (which are the same bytes).
void put_addr(uint8_t *p, uint32_t net) {
    memcpy(p, &net, 4);
}
uint32_t get_addr(const uint8_t *p) {
    uint32_t net;
    memcpy(&net, p, 4);
    return net;
}

void put_text(uint8_t *p, size_t field, const char *text) {
    size_t n = strnlen(text, field - 1);
    memcpy(p, text, n);
}
void get_text(const uint8_t *p, size_t field, char *out, size_t out_size) {
    size_t n = strnlen(reinterpret_cast<const char *>(p), field);
    if (n > out_size - 1) n = out_size - 1;
    memcpy(out, p, n);
    out[n] = '\0';
}

}  // namespace

void discovery_encode(const discovery_record &rec, uint8_t out[kDiscoveryRecordSize]) {
    memset(out, 0, kDiscoveryRecordSize);
    out[0] = rec.signature;
    out[1] = rec.opcode;
    put_be16(out + 2, rec.flags);
    // The community may fill all 32 bytes without a NUL.
    memcpy(out + 4, rec.community, strnlen(rec.community, kDiscoveryCommunitySize));
    memcpy(out + 36, rec.hwaddr, 6);
    put_addr(out + 44, rec.lan_addr);
    put_text(out + 48, kDiscoveryModelSize, rec.model);
    put_addr(out + 340, rec.fw_server);
    put_text(out + 344, kDiscoveryFileSize, rec.fw_file);
    put_addr(out + 600, rec.netmask);
    put_be32(out + 608, rec.one);
    put_be32(out + 692, rec.reconnect);
}

discovery_parse_result discovery_decode(const uint8_t *data, size_t len, discovery_record *out) {
    if (len < kDiscoveryRecordSize) return kDiscoveryTooShort;
    if (data[0] != kDiscoverySignature && data[0] != kDiscoverySignatureAlt)
        return kDiscoveryBadSignature;
    memset(out, 0, sizeof *out);
    out->signature = data[0];
    out->opcode = data[1];
    out->flags = get_be16(data + 2);
    get_text(data + 4, kDiscoveryCommunitySize, out->community, sizeof out->community);
    memcpy(out->hwaddr, data + 36, 6);
    out->lan_addr = get_addr(data + 44);
    get_text(data + 48, kDiscoveryModelSize, out->model, sizeof out->model);
    out->fw_server = get_addr(data + 340);
    get_text(data + 344, kDiscoveryFileSize, out->fw_file, sizeof out->fw_file);
    out->netmask = get_addr(data + 600);
    out->one = get_be32(data + 608);
    out->reconnect = get_be32(data + 692);
    return kDiscoveryOk;
}

namespace {

uint32_t host_order(uint32_t net) {
    uint8_t b[4];
    memcpy(b, &net, 4);
    return get_be32(b);
}

}  // namespace

bool lan_netmask_valid(uint32_t netmask) {
    uint32_t m = host_order(netmask);
    uint32_t inverted = ~m;
    if ((inverted & (inverted + 1)) != 0) return false;  // ones not contiguous from the top
    return m >= 0xFF000000u && m <= 0xFFFFFFFCu;
}

bool lan_host_addr_valid(uint32_t addr, uint32_t netmask) {
    uint32_t a = host_order(addr);
    if (a == 0 || (a >> 24) == 127 || a >= 0xE0000000u) return false;
    uint32_t m = host_order(netmask);
    if (m == 0) return true;
    uint32_t host = a & ~m;
    return host != 0 && host != (~m);
}
