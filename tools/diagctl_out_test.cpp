// diagctl's argument parsing and output forms.
#include "tools/diagctl_out.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tools/diagctl_commands.h"

namespace {

// Runs `print` on a DiagctlOut writing to two memory streams; returns "OUT|ERR".
template <typename F>
std::string captured(bool json, F print) {
    char *out_buf = nullptr, *err_buf = nullptr;
    size_t out_len = 0, err_len = 0;
    FILE *out = open_memstream(&out_buf, &out_len);
    FILE *err = open_memstream(&err_buf, &err_len);
    {
        DiagctlOut o(json, out, err);
        print(o);
    }
    fclose(out);
    fclose(err);
    std::string s = std::string(out_buf, out_len) + "|" + std::string(err_buf, err_len);
    free(out_buf);
    free(err_buf);
    return s;
}

TEST(DiagctlArgs, NumbersDecimalOrHexWithinTheirRange) {
    unsigned long v = 0;
    EXPECT_TRUE(diagctl_number("65535", 65535, &v));
    EXPECT_EQ(65535u, v);
    EXPECT_TRUE(diagctl_number("0x1F", 255, &v));
    EXPECT_EQ(31u, v);
    EXPECT_FALSE(diagctl_number("65536", 65535, &v));
    EXPECT_FALSE(diagctl_number("-1", 65535, &v));
    EXPECT_FALSE(diagctl_number("0x", 65535, &v));
    EXPECT_FALSE(diagctl_number("12a", 65535, &v));
    EXPECT_FALSE(diagctl_number("", 65535, &v));
    EXPECT_FALSE(diagctl_number("99999999999999999999", 0xFFFFFFFFul, &v));
}

TEST(DiagctlArgs, HexBytesAndDigits) {
    uint8_t b[4];
    size_t n = 0;
    ASSERT_TRUE(diagctl_hex("0aFf", b, sizeof b, &n));
    EXPECT_EQ(2u, n);
    EXPECT_EQ(0xFF, b[1]);
    EXPECT_FALSE(diagctl_hex("0a0", b, sizeof b, &n));
    EXPECT_FALSE(diagctl_hex("0a0b0c0d0e", b, sizeof b, &n));
    EXPECT_FALSE(diagctl_hex("zz", b, sizeof b, &n));
    EXPECT_TRUE(diagctl_digits("123456", 6));
    EXPECT_FALSE(diagctl_digits("12345", 6));
    EXPECT_FALSE(diagctl_digits("12345a", 6));
}

TEST(DiagctlArgs, NamIsTakenOutOfTheArguments) {
    char a0[] = "nam", a1[] = "get", a2[] = "-n", a3[] = "1", a4[] = "min";
    char *argv[] = {a0, a1, a2, a3, a4};
    int argc = 5, nam = 0;
    bool given = false;
    ASSERT_TRUE(diagctl_take_nam(&argc, argv, &nam, &given));
    EXPECT_EQ(3, argc);
    EXPECT_EQ(1, nam);
    EXPECT_TRUE(given);
    EXPECT_STREQ("min", argv[2]);
    char b3[] = "2";
    char *bad[] = {a0, a1, a4, a2, b3};
    argc = 5;
    EXPECT_FALSE(diagctl_take_nam(&argc, bad, &nam));
    argc = 4;
    EXPECT_FALSE(diagctl_take_nam(&argc, bad, &nam));  // -n without its value
}

TEST(DiagctlOutput, JsonObjectOnOneLineWithEscapes) {
    std::string s = captured(true, [](DiagctlOut &o) {
        o.num("item", 33);
        o.text("text", "a\"b\\c\n\x80", 16);
        const uint8_t bytes[] = {0x00, 0xAB};
        o.hex("hex", bytes, 2);
        o.boolean("ok", false);
        o.finish();
    });
    EXPECT_EQ(
        "{\"item\": 33, \"text\": \"a\\\"b\\\\c\\u000a\\u0080\", \"hex\": \"00ab\", "
        "\"ok\": false}\n|",
        s);
}

TEST(DiagctlOutput, PlainLinesAndTextBoundedByItsLength) {
    std::string s = captured(false, [](DiagctlOut &o) {
        o.num("level", 7);
        o.text("text", "abcdef", 3);
        o.finish();
    });
    EXPECT_EQ("level: 7\ntext: abc\n|", s);
}

TEST(DiagctlOutput, FailureOnStandardErrorAndAsJson) {
    std::string s = captured(true, [](DiagctlOut &o) { o.fail("nv read", 26, "nv_status", 5); });
    EXPECT_EQ(
        "{\"error\": \"nv read\", \"status\": 26, \"nv_status\": 5}\n|"
        "diagctl: nv read: status 26 (nv refused)\n",
        s);
    s = captured(false, [](DiagctlOut &o) { o.fail("show rssi", 40); });
    EXPECT_EQ("|diagctl: show rssi: status 40 (not supported)\n", s);
}

}  // namespace
