#include "tools/modemctl_format.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string printed(int cmd, const ModemReply &r) {
    char buf[512] = {};
    FILE *f = fmemopen(buf, sizeof buf - 1, "w");
    modemctl_print_reply(f, cmd, r);
    fclose(f);
    return buf;
}

TEST(ModemctlFormat, CommandNamesAndNumbers) {
    EXPECT_EQ(1, modemctl_command_number("esn"));
    EXPECT_EQ(210, modemctl_command_number("gps"));
    EXPECT_EQ(200, modemctl_command_number("0xc8"));
    EXPECT_EQ(-1, modemctl_command_number("70000"));
    EXPECT_EQ(-1, modemctl_command_number("bogus"));
}

TEST(ModemctlFormat, HexArgument) {
    uint8_t out[4];
    EXPECT_EQ(3, modemctl_parse_hex("7e 7D:01", out, sizeof out));
    EXPECT_EQ(0x7E, out[0]);
    EXPECT_EQ(0x7D, out[1]);
    EXPECT_EQ(0x01, out[2]);
    EXPECT_EQ(-1, modemctl_parse_hex("7", out, sizeof out));
    EXPECT_EQ(-1, modemctl_parse_hex("zz", out, sizeof out));
    EXPECT_EQ(-1, modemctl_parse_hex("0102030405", out, sizeof out));
}

TEST(ModemctlFormat, DecodesEsnInHostOrder) {
    ModemReply r{};
    r.len = 16;
    r.data_len = 4;
    uint32_t esn = 0x8A1B2C3D;
    memcpy(r.data, &esn, 4);
    std::string text = printed(1, r);
    EXPECT_NE(std::string::npos, text.find("esn 8a1b2c3d (hex) 2317036605 (decimal)")) << text;
}

TEST(ModemctlFormat, DecodesGpsRecord) {
    ModemReply r{};
    r.len = 68;
    r.data_len = 56;
    double lat = 48.1173, lon = -11.5166;
    int32_t alt = 545;
    memcpy(r.data + 8, &lat, 8);
    memcpy(r.data + 16, &lon, 8);
    memcpy(r.data + 24, &alt, 4);
    uint32_t time = 1234;
    memcpy(r.data, &time, 4);
    std::string text = printed(210, r);
    EXPECT_NE(std::string::npos,
              text.find("gps time 1234 latitude 48.117300 longitude -11.516600 altitude 545 m\n"))
        << text;
    r.data_len = 55;  // short of a record
    text = printed(210, r);
    EXPECT_NE(std::string::npos, text.find("gps no position\n")) << text;
    EXPECT_EQ(std::string::npos, text.find("latitude")) << text;
}

TEST(ModemctlFormat, FailedReplyIsNotDecoded) {
    ModemReply r{};
    r.result = 1;
    r.len = 11;
    EXPECT_EQ("result 1\nlen 11\ndata\n", printed(1, r));
}

}  // namespace
