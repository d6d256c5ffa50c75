#include <gtest/gtest.h>

#include <cstring>

#include "common/crc32.h"
#include "common/fcs16.h"

namespace {

const uint8_t kCheckInput[] = {'1', '2', '3', '4', '5', '6', '7', '8', '9'};

TEST(Fcs16, MatchesPublishedCheckValue) {
    EXPECT_EQ(0x906E, fcs16(kCheckInput, sizeof kCheckInput));
}

TEST(Fcs16, FrameWithItsCheckBytesLeavesTheGoodResidue) {
    uint8_t frame[sizeof kCheckInput + 2];
    std::memcpy(frame, kCheckInput, sizeof kCheckInput);
    uint16_t fcs = fcs16(kCheckInput, sizeof kCheckInput);
    frame[sizeof kCheckInput] = static_cast<uint8_t>(fcs);  // low byte first
    frame[sizeof kCheckInput + 1] = static_cast<uint8_t>(fcs >> 8);
    uint16_t residue = fcs16_update(kFcs16Init, frame, sizeof frame);
    EXPECT_EQ(kFcs16Good, residue);
    EXPECT_EQ(0x0F47, static_cast<uint16_t>(~residue));
}

TEST(Fcs16, ChainsAcrossBlocks) {
    uint16_t part = fcs16_update(kFcs16Init, kCheckInput, 4);
    part = fcs16_update(part, kCheckInput + 4, sizeof kCheckInput - 4);
    EXPECT_EQ(0x906E, static_cast<uint16_t>(~part));
}

// The eight-bytes-at-a-time path against the plain bit-by-bit definition, for every length
// and start offset around the block size.
TEST(Fcs16, BlockPathMatchesTheBitwiseDefinition) {
    uint8_t data[64];
    for (size_t i = 0; i < sizeof data; ++i)
        data[i] = static_cast<uint8_t>(i * 73 + 0x7D);
    for (size_t start = 0; start < 8; ++start) {
        for (size_t len = 0; start + len <= sizeof data; ++len) {
            uint16_t expected = kFcs16Init;
            for (size_t i = start; i < start + len; ++i) {
                expected ^= data[i];
                for (int k = 0; k < 8; ++k)
                    expected = (expected & 1) ? (expected >> 1) ^ 0x8408 : expected >> 1;
            }
            ASSERT_EQ(expected, fcs16_update(kFcs16Init, data + start, len))
                << "start " << start << " len " << len;
        }
    }
}

TEST(Crc32, MatchesPublishedCheckValueWhenFramedByComplements) {
    EXPECT_EQ(0xCBF43926u, ~crc32_update(0xFFFFFFFFu, kCheckInput, sizeof kCheckInput));
}

TEST(Crc32, ChainsAcrossBlocksWithoutComplement) {
    uint32_t whole = crc32_update(0xFFFFFFFFu, kCheckInput, sizeof kCheckInput);
    uint32_t part = crc32_update(0xFFFFFFFFu, kCheckInput, 5);
    EXPECT_EQ(whole, crc32_update(part, kCheckInput + 5, sizeof kCheckInput - 5));
}

// Eight bytes are folded per step: every length and alignment around that step agrees with a
// bit-at-a-time oracle.
TEST(Crc32, EightByteStepsAgreeWithABitwiseOracleAtEveryAlignment) {
    uint8_t data[80];
    for (size_t i = 0; i < sizeof data; ++i)
        data[i] = static_cast<uint8_t>(i * 37 + 11);
    for (size_t start = 0; start < 8; ++start) {
        for (size_t len = 0; len + start <= sizeof data; ++len) {
            uint32_t expected = 0x12345678u;
            for (size_t i = 0; i < len; ++i) {
                expected ^= data[start + i];
                for (int k = 0; k < 8; ++k)
                    expected = (expected & 1) ? (expected >> 1) ^ 0xEDB88320u : expected >> 1;
            }
            ASSERT_EQ(expected, crc32_update(0x12345678u, data + start, len))
                << "start " << start << " len " << len;
        }
    }
}

}  // namespace
