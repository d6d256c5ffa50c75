#include "common/trx.h"

#include "common/bytes.h"
#include "common/crc32.h"

bool trx_parse_header(const uint8_t *buf, size_t len, trx_header *out) {
    if (!buf || len < kTrxHeaderLen) return false;
    out->magic = get_le32(buf);
    out->len = get_le32(buf + 4);
    out->crc = get_le32(buf + 8);
    out->flags = get_le16(buf + 12);
    out->version = get_le16(buf + 14);
    for (int i = 0; i < 3; ++i)
        out->offsets[i] = get_le32(buf + 16 + 4 * i);
    return true;
}

void trx_put_header(uint8_t *buf, const trx_header &h) {
    put_le32(buf, h.magic);
    put_le32(buf + 4, h.len);
    put_le32(buf + 8, h.crc);
    put_le16(buf + 12, h.flags);
    put_le16(buf + 14, h.version);
    for (int i = 0; i < 3; ++i)
        put_le32(buf + 16 + 4 * i, h.offsets[i]);
}

bool trx_header_sane(const trx_header &h) {
    return h.magic == kTrxMagic && h.len >= kTrxHeaderLen && h.len <= kTrxMaxLen;
}

uint32_t trx_crc_begin(const uint8_t *header) {
    return crc32_update(kTrxCrcStart, header + kTrxCrcFrom, kTrxHeaderLen - kTrxCrcFrom);
}
