#include "common/pcap_file.h"

#include <gtest/gtest.h>

#include <vector>

TEST(PcapFile, HeadersAreLittleEndianWithTheirFields) {
    uint8_t h[kPcapFileHeaderSize];
    pcap_file_header(h, kPcapLinkCard);
    const std::vector<uint8_t> want = {0xD4, 0xC3, 0xB2, 0xA1, 2,    0,    4, 0, 0,   0, 0, 0,
                                       0,    0,    0,    0,    0xFF, 0xFF, 0, 0, 147, 0, 0, 0};
    EXPECT_EQ(want, std::vector<uint8_t>(h, h + sizeof h));

    uint8_t r[kPcapRecordHeaderSize];
    pcap_record_header(r, 5123456ull, 300);  // 5123.456 s
    const std::vector<uint8_t> rec = {0x03, 0x14, 0, 0, 0x40, 0xF5, 0x06, 0,
                                      0x2C, 0x01, 0, 0, 0x2C, 0x01, 0,    0};
    EXPECT_EQ(rec, std::vector<uint8_t>(r, r + sizeof r));
}

TEST(PcapFile, AnOverlongRecordIsCutToTheSnapLengthKeepingItsOriginalLength) {
    uint8_t r[kPcapRecordHeaderSize];
    pcap_record_header(r, 0, 70000);
    EXPECT_EQ(0xFFu, r[8]);
    EXPECT_EQ(0xFFu, r[9]);
    EXPECT_EQ(0u, r[10]);
    EXPECT_EQ(0x70u, r[12]);  // 70000 = 0x11170
    EXPECT_EQ(0x11u, r[13]);
    EXPECT_EQ(0x01u, r[14]);
    EXPECT_EQ(kPcapSnapLen, pcap_captured_len(70000));
}
