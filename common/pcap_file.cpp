#include "common/pcap_file.h"

#include "common/bytes.h"

void pcap_file_header(uint8_t out[kPcapFileHeaderSize], uint32_t link_type) {
    put_le32(out, 0xA1B2C3D4u);
    put_le16(out + 4, 2);
    put_le16(out + 6, 4);
    put_le32(out + 8, 0);   // GMT offset
    put_le32(out + 12, 0);  // timestamp accuracy
    put_le32(out + 16, kPcapSnapLen);
    put_le32(out + 20, link_type);
}

void pcap_record_header(uint8_t out[kPcapRecordHeaderSize], unsigned long long ms, size_t len) {
    put_le32(out, static_cast<uint32_t>(ms / 1000));
    put_le32(out + 4, static_cast<uint32_t>(ms % 1000 * 1000));
    put_le32(out + 8, static_cast<uint32_t>(pcap_captured_len(len)));
    size_t original = len > 0xFFFFFFFFu ? 0xFFFFFFFFu : len;
    put_le32(out + 12, static_cast<uint32_t>(original));
}
