#include "tools/trx_image.h"

#include "common/trx.h"

uint32_t trx_bitwise_crc(const uint8_t *data, size_t len, uint32_t crc) {
    for (size_t i = 0; i < len; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return crc;
}

std::vector<uint8_t> trx_build(const TrxBuild &b) {
    std::vector<uint8_t> image(kTrxHeaderLen, 0);
    trx_header h{};
    h.magic = kTrxMagic;
    h.flags = b.flags;
    h.version = b.version;
    for (size_t i = 0; i < b.payloads.size() && i < 3; ++i) {
        while (image.size() % 4)
            image.push_back(0);
        h.offsets[i] = static_cast<uint32_t>(image.size());
        image.insert(image.end(), b.payloads[i].begin(), b.payloads[i].end());
    }
    h.len = static_cast<uint32_t>(image.size());
    trx_put_header(image.data(), h);
    h.crc = trx_bitwise_crc(image.data() + kTrxCrcFrom, image.size() - kTrxCrcFrom, 0xFFFFFFFFu);
    if (b.lie_len) h.len = *b.lie_len;
    if (b.lie_crc) h.crc = *b.lie_crc;
    if (b.lie_magic) h.magic = *b.lie_magic;
    if (b.lie_flags) h.flags = *b.lie_flags;
    trx_put_header(image.data(), h);
    return image;
}

TrxVerdict trx_verify(const std::vector<uint8_t> &image) {
    TrxVerdict v;
    trx_header h;
    if (!trx_parse_header(image.data(), image.size(), &h)) {
        v.why = "shorter than a header";
        return v;
    }
    v.header_len = h.len;
    v.header_crc = h.crc;
    if (h.magic != kTrxMagic) {
        v.why = "bad magic";
    } else if (h.len < kTrxHeaderLen || h.len > kTrxMaxLen) {
        v.why = "length out of range";
    } else if (h.len > image.size()) {
        v.why = "truncated";
    } else if (h.len < image.size()) {
        v.why = "longer than its header";
    } else {
        v.computed_crc =
            trx_bitwise_crc(image.data() + kTrxCrcFrom, h.len - kTrxCrcFrom, 0xFFFFFFFFu);
        v.good = v.computed_crc == h.crc;
        v.why = v.good ? "good" : "bad CRC";
    }
    return v;
}
