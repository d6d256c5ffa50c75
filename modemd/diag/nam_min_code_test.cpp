#include "modemd/diag/nam_min_code.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(MinCode, TenDigitsEncodeAndDecodeBack) {
    uint16_t min2 = 0;
    uint32_t min1 = 0;
    ASSERT_TRUE(min2_encode("619", &min2));
    ASSERT_TRUE(min1_encode("5551234", &min1));
    EXPECT_EQ(508, min2);
    EXPECT_EQ(7275643u, min1);
    EXPECT_EQ(0x6F047Bu, min1);
    char digits[10];
    ASSERT_TRUE(min2_decode(min2, digits));
    ASSERT_TRUE(min1_decode(min1, digits + 3));
    EXPECT_EQ("6195551234", std::string(digits, 10));
}

TEST(MinCode, ZeroFourthDigitIsStoredAsTen) {
    uint32_t min1 = 0;
    ASSERT_TRUE(min1_encode("5550234", &min1));
    EXPECT_EQ(7284859u, min1);
    EXPECT_EQ(10u, min1 >> 10 & 0xF);
    char digits[7];
    ASSERT_TRUE(min1_decode(min1, digits));
    EXPECT_EQ("5550234", std::string(digits, 7));
}

TEST(MinCode, StoredZeroReadsAsSevenZeros) {
    char digits[7] = {};
    ASSERT_TRUE(min1_decode(0, digits));
    EXPECT_EQ("0000000", std::string(digits, 7));
}

TEST(MinCode, EveryDigitRoundTrips) {
    char in[4] = "000";
    for (int v = 0; v < 1000; ++v) {
        snprintf(in, sizeof in, "%03d", v);
        uint16_t code;
        char out[3];
        ASSERT_TRUE(min_group_encode(in, &code));
        ASSERT_LE(code, 999);
        ASSERT_TRUE(min_group_decode(code, out));
        ASSERT_EQ(std::string(in), std::string(out, 3));
    }
}

TEST(MinCode, ValuesPastTheDigitTableAreRefused) {
    char out[7];
    EXPECT_FALSE(min_group_decode(1000, out));
    EXPECT_FALSE(min2_decode(1023, out));
    EXPECT_FALSE(min1_decode(1000u << 14 | 1u << 10, out));  // first group above 999
    EXPECT_FALSE(min1_decode(1u << 10 | 1000u, out));        // last group above 999
    EXPECT_FALSE(min1_decode(5, out));                       // fourth digit 0
    EXPECT_FALSE(min1_decode(11u << 10, out));               // fourth digit above 10
    EXPECT_FALSE(min1_decode(1u << 24 | 1u << 10, out));     // bits above the MIN1
    uint16_t code;
    uint32_t min1;
    EXPECT_FALSE(min2_encode("61a", &code));
    EXPECT_FALSE(min1_encode("555 234", &min1));  // spaces are the caller's to replace
}

}  // namespace
