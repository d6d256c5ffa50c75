// KPC650 and CDU framing, and the KPC650 notice handler, against a card played by the test.
#include "modemd/crc_frame.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "modemd/kpc650.h"
#include "modemd/transport_testing.h"
#include "tests/support/framing_oracle.h"

namespace {

// Frame data, its check value (low byte first), stuffed, one trailing flag.
Bytes crc_wire(const Bytes &data) {
    return testsupport::oracle_fcs_frame(data);
}

const Bytes kKeepAlive = {0x00, 0x0C, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03};

class CrcFrame : public ::testing::Test {
  protected:
    PeerCard card_;
    CrcFrameBuffers bufs_;
};

TEST_F(CrcFrame, WriteAppendsTheCheckValueAndHasNoLeadingFlag) {
    const uint8_t data[3] = {0x01, 0x7E, 0x02};
    EXPECT_EQ(8, crc_frame_write(&bufs_, card_.port(), data, 3));  // 7E 01 7D 5E 02 c c 7E
    EXPECT_EQ(crc_wire({0x01, 0x7E, 0x02}), card_.received());
}

TEST_F(CrcFrame, ReadChecksAndStripsTheCheckValue) {
    card_.answer(crc_wire({0xD9, 0x00, 0x7D, 0x01}));
    uint8_t out[256];
    ASSERT_EQ(4, crc_frame_read(&bufs_, card_.port(), out, sizeof out));
    EXPECT_EQ((Bytes{0xD9, 0x00, 0x7D, 0x01}), Bytes(out, out + 4));
}

TEST_F(CrcFrame, ReadRefusesBadCheckShortAndOversizedFrames) {
    uint8_t out[256];
    Bytes bad = crc_wire({0x01, 0x02, 0x03});
    bad[bad.size() - 2] ^= 0x40;
    card_.answer(bad);
    EXPECT_EQ(-1, crc_frame_read(&bufs_, card_.port(), out, sizeof out));
    card_.answer({0x01, 0x02, 0x7E});
    EXPECT_EQ(-1, crc_frame_read(&bufs_, card_.port(), out, sizeof out));
    card_.answer(crc_wire(Bytes(300, 0x41)));
    EXPECT_EQ(-1, crc_frame_read(&bufs_, card_.port(), out, sizeof out));
}

// A read is one frame: its last byte ends it whatever it is, and a flag inside is data.
TEST_F(CrcFrame, ReadTakesTheLastByteAsTheFlagAndAFlagInsideAsData) {
    uint8_t out[256];
    Bytes wire = crc_wire({0x01, 0x02, 0x03});
    wire.back() = 0x00;
    card_.answer(wire);
    ASSERT_EQ(3, crc_frame_read(&bufs_, card_.port(), out, sizeof out));
    EXPECT_EQ((Bytes{0x01, 0x02, 0x03}), Bytes(out, out + 3));
    Bytes data = {0x11, 0x7E, 0x7E, 0x22};
    uint16_t fcs = testsupport::oracle_fcs16(data);
    Bytes raw = data;  // the flags inside sent bare, as a card would never send them
    raw.push_back(uint8_t(fcs));
    raw.push_back(uint8_t(fcs >> 8));
    raw.push_back(0x7E);
    ASSERT_EQ((Bytes{0xC3, 0xDB}), Bytes(raw.begin() + 4, raw.begin() + 6));  // nothing to stuff
    card_.answer(raw);
    ASSERT_EQ(4, crc_frame_read(&bufs_, card_.port(), out, sizeof out));
    EXPECT_EQ(data, Bytes(out, out + 4));
}

class Kpc650Notice : public CrcFrame {
  protected:
    // Runs the handler with standard output captured.
    int handle(Bytes frame, std::string *printed) {
        fflush(stdout);
        ::testing::internal::CaptureStdout();
        int r =
            kpc650_cns_notice_handler(card_.port(), frame.data(), static_cast<int>(frame.size()));
        fflush(stdout);
        *printed = ::testing::internal::GetCapturedStdout();
        return r;
    }
};

TEST_F(Kpc650Notice, KeepAliveIsSentBackWithAFreshCheckValueAndNothingPrinted) {
    std::string printed;
    Bytes wire = crc_wire(kKeepAlive);
    EXPECT_EQ(static_cast<int>(wire.size()) + 1, handle(kKeepAlive, &printed));  // both flags
    EXPECT_EQ("", printed);
    EXPECT_EQ(wire, card_.received());
}

TEST_F(Kpc650Notice, OtherFramesArePrintedNotEchoed) {
    Bytes frame = kKeepAlive;
    frame[11] = 4;
    std::string printed;
    EXPECT_EQ(12, handle(frame, &printed));
    EXPECT_EQ(
        "receive notice information: \n                   COMMAND: 1\n"
        "                   CHANNEL: 0\n                   MSGTYPE: 4\n",
        printed);
    EXPECT_TRUE(card_.received().empty());
}

TEST_F(Kpc650Notice, FrameTooShortForItsFieldsIsDropped) {
    std::string printed;
    EXPECT_EQ(-1, handle({0x00, 0x0C, 0x01}, &printed));
    EXPECT_EQ(std::string::npos, printed.find("COMMAND"));
    EXPECT_TRUE(card_.received().empty());
}

}  // namespace
