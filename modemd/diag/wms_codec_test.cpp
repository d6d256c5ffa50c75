#include "modemd/diag/wms_codec.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

std::string hex(const uint8_t *p, size_t n) {
    static const char d[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        s += d[p[i] >> 4];
        s += d[p[i] & 15];
    }
    return s;
}

wms_tl_message dtmf_message(const char *number) {
    wms_tl_message m{};
    m.teleservice = 4098;
    m.destination = 1;
    for (const char *p = number; *p; ++p)
        m.data[m.num_digits++] = wms_dtmf_code(*p);
    return m;
}

void add_bearer(wms_tl_message *m, const std::vector<uint8_t> &bearer) {
    std::memcpy(m->data + m->num_digits + m->subaddress_len, bearer.data(), bearer.size());
    m->bearer_len = static_cast<uint16_t>(bearer.size());
}

}  // namespace

TEST(WmsBits, PackersKeepNeighbouringBitsAtEveryOffset) {
    for (unsigned count = 1; count <= 16; ++count) {
        for (size_t offset = 0; offset < 24; ++offset) {
            for (uint8_t fill : {0x00, 0xFF}) {
                uint8_t buf[6];
                std::memset(buf, fill, sizeof buf);
                uint16_t value = static_cast<uint16_t>(0xA5C3u & ((1u << count) - 1));
                b_packw(value, buf, offset, count);
                ASSERT_EQ(value, b_unpackw(buf, offset, count)) << count << "@" << offset;
                for (size_t bit = 0; bit < 48; ++bit) {
                    if (bit >= offset && bit < offset + count) continue;
                    ASSERT_EQ(fill ? 1 : 0, (buf[bit / 8] >> (7 - bit % 8)) & 1)
                        << "bit " << bit << " touched by " << count << "@" << offset;
                }
                if (count <= 8) {
                    std::memset(buf, fill, sizeof buf);
                    b_packb(static_cast<uint8_t>(value), buf, offset, count);
                    ASSERT_EQ(value, b_unpackb(buf, offset, count));
                }
            }
        }
    }
}

TEST(WmsAddress, BodiesAreBitExact) {
    wms_tl_message m = dtmf_message("6195551234");
    uint8_t out[40], len = 0;
    ASSERT_EQ(0, wms_ts_cdma_encode_address(&m, &len, out));
    EXPECT_EQ("02986555448d00", hex(out, len));

    wms_tl_message a{};
    a.digit_mode = 1;
    a.number_type = 2;
    a.number_plan = 1;
    a.num_digits = 3;
    std::memcpy(a.data, "123", 3);
    ASSERT_EQ(0, wms_ts_cdma_encode_address(&a, &len, out));
    EXPECT_EQ("908198991980", hex(out, len));

    wms_tl_message s{};
    s.subaddress_len = 2;
    s.data[0] = 0xa1;
    s.data[1] = 0xb2;
    ASSERT_EQ(0, wms_ts_cdma_encode_subaddress(&s, &len, out));
    EXPECT_EQ("002a1b20", hex(out, len));

    wms_tl_message back{};
    const uint8_t dtmf[] = {0x02, 0x98, 0x65, 0x55, 0x44, 0x8d, 0x00};
    ASSERT_EQ(0, wms_ts_cdma_decode_address(dtmf, sizeof dtmf, &back));
    EXPECT_EQ(10, back.num_digits);
    EXPECT_EQ(6, back.data[0]);
    EXPECT_EQ(4, back.data[9]);
    const uint8_t eight[] = {0x90, 0x81, 0x98, 0x99, 0x19, 0x80};
    ASSERT_EQ(0, wms_ts_cdma_decode_address(eight, sizeof eight, &back));
    EXPECT_EQ(1, back.digit_mode);
    EXPECT_EQ(2, back.number_type);
    EXPECT_EQ(1, back.number_plan);
    EXPECT_EQ(0, std::memcmp(back.data, "123", 3));
    // A body one byte short of its digits, and one claiming 33 digits.
    EXPECT_EQ(11, wms_ts_cdma_decode_address(eight, sizeof eight - 1, &back));
    uint8_t many[40] = {0x08, 0x40};  // digit mode 0, count 33
    EXPECT_EQ(8, wms_ts_cdma_decode_address(many, sizeof many, &back));
}

TEST(WmsTl, EncodeDecodeEncodeGivesTheSameBytes) {
    wms_tl_message m = dtmf_message("6195551234");
    m.category_present = 1;
    m.category = 7;
    m.reply_requested = 1;
    m.reply_seq = 5;
    m.subaddress_len = 2;
    m.subaddress_type = 1;
    m.subaddress_odd = 1;
    m.data[10] = 0xa1;
    m.data[11] = 0xb2;
    std::vector<uint8_t> bearer(140);
    for (size_t i = 0; i < bearer.size(); ++i)
        bearer[i] = static_cast<uint8_t>(i * 7);
    add_bearer(&m, bearer);
    uint8_t first[300];
    size_t n1 = 0;
    ASSERT_EQ(0, wms_ts_encode_CDMA_tl(&m, sizeof first, first, &n1));
    wms_tl_message d{};
    size_t size = 0;
    ASSERT_EQ(0, wms_ts_decode_CDMA_tl(first, n1, &d, kWmsDataSize, &size));
    EXPECT_EQ(4098, d.teleservice);
    EXPECT_EQ(7, d.category);
    EXPECT_EQ(1, d.destination);
    EXPECT_EQ(5, d.reply_seq);
    EXPECT_EQ(1, d.subaddress_odd);
    EXPECT_EQ(140, d.bearer_len);
    EXPECT_EQ(10u + 2 + 140 + 49, size);
    EXPECT_EQ(0, std::memcmp(d.data + 12, bearer.data(), 140));
    uint8_t second[300];
    size_t n2 = 0;
    ASSERT_EQ(0, wms_ts_encode_CDMA_tl(&d, sizeof second, second, &n2));
    EXPECT_EQ(hex(first, n1), hex(second, n2));

    // Originating address, 8-bit digits, no subaddress, no reply option.
    wms_tl_message o{};
    o.teleservice = 4098;
    o.digit_mode = 1;
    o.number_mode = 1;
    o.number_type = 1;
    o.num_digits = 4;
    std::memcpy(o.data, "+123", 4);
    add_bearer(&o, {1, 2, 3});
    ASSERT_EQ(0, wms_ts_encode_CDMA_tl(&o, sizeof first, first, &n1));
    ASSERT_EQ(0, wms_ts_decode_CDMA_tl(first, n1, &d, kWmsDataSize, &size));
    EXPECT_EQ(0, d.destination);
    EXPECT_EQ(0, d.reply_requested);
    ASSERT_EQ(0, wms_ts_encode_CDMA_tl(&d, sizeof second, second, &n2));
    EXPECT_EQ(hex(first, n1), hex(second, n2));
}

TEST(WmsTl, CapacityIsCheckedAgainstTheBytesWritten) {
    // Ten DTMF digits and 5 bearer bytes: the old estimate said 20, the message takes 21.
    wms_tl_message m = dtmf_message("6195551234");
    add_bearer(&m, {1, 2, 3, 4, 5});
    uint8_t out[64];
    std::memset(out, 0xEE, sizeof out);
    size_t n = 0;
    ASSERT_EQ(0, wms_ts_encode_CDMA_tl(&m, sizeof out, out, &n));
    EXPECT_EQ(21u, n);
    std::memset(out, 0xEE, sizeof out);
    EXPECT_EQ(13, wms_ts_encode_CDMA_tl(&m, 20, out, &n));
    EXPECT_EQ(21u, n);
    EXPECT_EQ(0xEE, out[0]);  // nothing written
    // 8-bit digits take twice the room the estimate gave them.
    wms_tl_message e{};
    e.digit_mode = 1;
    e.number_mode = 1;
    e.num_digits = 32;
    std::memset(e.data, '5', 32);
    ASSERT_EQ(0, wms_ts_encode_CDMA_tl(&e, sizeof out, out, &n));
    size_t need = n;
    EXPECT_EQ(13, wms_ts_encode_CDMA_tl(&e, need - 1, out, &n));
    EXPECT_EQ(need, n);
    e.num_digits = 33;
    EXPECT_EQ(8, wms_ts_encode_CDMA_tl(&e, sizeof out, out, &n));
}

TEST(WmsTl, DecoderRefusals) {
    wms_tl_message d{};
    size_t size = 0;
    uint8_t big[300] = {};
    EXPECT_EQ(8, wms_ts_decode_CDMA_tl(big, 1, &d, kWmsDataSize, &size));
    EXPECT_EQ(8, wms_ts_decode_CDMA_tl(big, 300, &d, 400, &size));
    EXPECT_EQ(13, wms_ts_decode_CDMA_tl(big, 20, &d, 19, &size));
    // A parameter running past the end.
    const uint8_t past[] = {0, 0, 2, 0x10, 0x02, 4, 7, 0x02, 0x98};
    EXPECT_EQ(8, wms_ts_decode_CDMA_tl(past, sizeof past, &d, kWmsDataSize, &size));
    // Point-to-point without an address; broadcast without a category.
    const uint8_t no_addr[] = {0, 0, 2, 0x10, 0x02, 8, 1, 0x55};
    EXPECT_EQ(8, wms_ts_decode_CDMA_tl(no_addr, sizeof no_addr, &d, kWmsDataSize, &size));
    const uint8_t bcast[] = {1, 0, 2, 0x10, 0x02};
    EXPECT_EQ(8, wms_ts_decode_CDMA_tl(bcast, sizeof bcast, &d, kWmsDataSize, &size));
    const uint8_t unknown_type[] = {3, 0, 2, 0x10, 0x02};
    EXPECT_EQ(8, wms_ts_decode_CDMA_tl(unknown_type, sizeof unknown_type, &d, kWmsDataSize, &size));
    // An empty bearer data parameter; a teleservice of the wrong size.
    const uint8_t empty_bearer[] = {0, 4, 2, 0x00, 0x40, 8, 0};
    EXPECT_EQ(8, wms_ts_decode_CDMA_tl(empty_bearer, sizeof empty_bearer, &d, kWmsDataSize, &size));
    const uint8_t odd_ts[] = {0, 0, 1, 0x10, 4, 2, 0x00, 0x40};
    EXPECT_EQ(8, wms_ts_decode_CDMA_tl(odd_ts, sizeof odd_ts, &d, kWmsDataSize, &size));
}

TEST(WmsTl, AcknowledgementsCarryTheirCauseCodes) {
    const uint8_t ok[] = {2, 4, 2, 0x00, 0x40, 7, 1, (9 << 2) | 0};
    wms_tl_message d{};
    size_t size = 0;
    ASSERT_EQ(0, wms_ts_decode_CDMA_tl(ok, sizeof ok, &d, kWmsDataSize, &size));
    EXPECT_EQ(9, d.cause_reply_seq);
    EXPECT_EQ(0, d.error_class);
    const uint8_t err[] = {2, 7, 2, (3 << 2) | 2, 35};
    ASSERT_EQ(0, wms_ts_decode_CDMA_tl(err, sizeof err, &d, kWmsDataSize, &size));
    EXPECT_EQ(3, d.cause_reply_seq);
    EXPECT_EQ(2, d.error_class);
    EXPECT_EQ(35, d.cause_code);
    const uint8_t short_cause[] = {2, 7, 1, (3 << 2) | 2};
    EXPECT_EQ(8, wms_ts_decode_CDMA_tl(short_cause, sizeof short_cause, &d, kWmsDataSize, &size));
    const uint8_t none[] = {2, 4, 2, 0x00, 0x40};
    EXPECT_EQ(8, wms_ts_decode_CDMA_tl(none, sizeof none, &d, kWmsDataSize, &size));
}

TEST(WmsTl, StoresAreBoundedByTheRoomGiven) {
    // 32 DTMF digits (17 bytes on the wire) and 200 bearer bytes: 232 bytes of shared array.
    wms_tl_message m = dtmf_message("12345678901234567890123456789012");
    std::vector<uint8_t> bearer(200, 0x41);
    add_bearer(&m, bearer);
    uint8_t out[300];
    size_t n = 0;
    ASSERT_EQ(0, wms_ts_encode_CDMA_tl(&m, sizeof out, out, &n));
    wms_tl_message d{};
    size_t size = 0;
    EXPECT_EQ(13, wms_ts_decode_CDMA_tl(out, n, &d, 231, &size));
    EXPECT_EQ(0, wms_ts_decode_CDMA_tl(out, n, &d, 232, &size));
}

TEST(WmsTl, RandomInputStaysInBounds) {
    std::mt19937 rng(12);
    std::vector<uint8_t> buf;
    int decoded = 0;
    for (int round = 0; round < 20000; ++round) {
        size_t len = 2 + rng() % 60;
        buf.assign(len, 0);
        for (auto &b : buf)
            b = static_cast<uint8_t>(rng());
        buf[0] = static_cast<uint8_t>(rng() % 3);
        wms_tl_message d{};
        size_t size = 0;
        if (wms_ts_decode_CDMA_tl(buf.data(), len, &d, kWmsDataSize, &size) == 0) {
            ++decoded;
            ASSERT_LE(d.num_digits, kWmsMaxDigits);
            ASSERT_LE(d.subaddress_len, kWmsMaxSubaddress);
            ASSERT_EQ(size, d.num_digits + d.subaddress_len + d.bearer_len + 49u);
        }
    }
    (void)decoded;
}
