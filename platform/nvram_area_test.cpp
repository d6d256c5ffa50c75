#include "platform/nvram_area.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

namespace {

std::unique_ptr<NvramArea> area_of(const std::string &entries) {
    auto a = std::make_unique<NvramArea>();
    memcpy(a->data, entries.data(), entries.size());
    a->used = static_cast<uint32_t>(entries.size());
    return a;
}

std::string entries_of(const NvramArea &a) {
    return std::string(a.data, a.used);
}

TEST(NvramArea, ReplacesInPlaceAppendsAndRemoves) {
    auto src = area_of(std::string("a=1\0b=2\0c=3\0", 12));
    auto dst = std::make_unique<NvramArea>();
    ASSERT_EQ(0, nvram_area_rewrite(*src, *dst, "b", "22"));
    EXPECT_EQ(std::string("a=1\0b=22\0c=3\0", 13), entries_of(*dst));
    ASSERT_EQ(0, nvram_area_rewrite(*src, *dst, "d", ""));
    EXPECT_EQ(std::string("a=1\0b=2\0c=3\0d=\0", 15), entries_of(*dst));
    ASSERT_EQ(0, nvram_area_rewrite(*src, *dst, "a", nullptr));
    EXPECT_EQ(std::string("b=2\0c=3\0", 8), entries_of(*dst));
}

TEST(NvramArea, NameMatchesWholeNamesOnly) {
    auto a = area_of(std::string("wan0_ip=1\0wan=2\0", 16));
    EXPECT_STREQ("2", nvram_area_find(*a, "wan"));
    EXPECT_STREQ("1", nvram_area_find(*a, "wan0_ip"));
    EXPECT_EQ(nullptr, nvram_area_find(*a, "wan0"));
}

TEST(NvramArea, DamagedTailIsIgnored) {
    auto a = area_of(std::string("a=1\0bad-no-terminator", 21));
    EXPECT_EQ(4u, nvram_area_extent(*a));
    a->used = 0xFFFFFFFF;  // a length beyond the area is bounded
    EXPECT_LE(nvram_area_extent(*a), kNvramCapacity);
    EXPECT_STREQ("1", nvram_area_find(*a, "a"));
}

TEST(NvramArea, RewriteBeyondCapacityFails) {
    auto src = area_of("");
    auto dst = std::make_unique<NvramArea>();
    std::string big(kNvramCapacity - 2, 'v');  // "k=" + value + NUL is one byte too many
    EXPECT_EQ(-ENOSPC, nvram_area_rewrite(*src, *dst, "k", big.c_str()));
    big.pop_back();
    EXPECT_EQ(0, nvram_area_rewrite(*src, *dst, "k", big.c_str()));
    EXPECT_EQ(kNvramCapacity, dst->used);
}

TEST(NvramImage, RoundTripsAndRejectsDamage) {
    std::string entries("a=1\0b=2\0", 8);
    uint8_t image[64];
    size_t len = nvram_image_encode(entries.data(), entries.size(), image);
    ASSERT_EQ(20u, len);
    auto a = std::make_unique<NvramArea>();
    ASSERT_EQ(0, nvram_image_decode(image, len, *a));
    EXPECT_EQ(entries, entries_of(*a));

    EXPECT_EQ(-1, nvram_image_decode(image, len - 1, *a));  // cut short
    EXPECT_EQ(-1, nvram_image_decode(image, 11, *a));
    image[14] ^= 1;  // a flipped bit
    EXPECT_EQ(-1, nvram_image_decode(image, len, *a));
    image[14] ^= 1;
    image[0] = 'X';
    EXPECT_EQ(-1, nvram_image_decode(image, len, *a));
}

TEST(NvramImage, EntryWithoutSeparatorIsDamage) {
    std::string entries("a=1\0oops\0", 9);
    uint8_t image[64];
    size_t len = nvram_image_encode(entries.data(), entries.size(), image);
    auto a = std::make_unique<NvramArea>();
    EXPECT_EQ(-1, nvram_image_decode(image, len, *a));
}

}  // namespace
