// The capture of the card's port: records cut at frames as they passed, with direction,
// framing and the fake clock's time; and a capture that cannot be written giving way.
#include "modemd/port_capture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/bytes.h"
#include "common/pcap_file.h"
#include "platform/env_fake.h"
#include "tests/support/testsupport.h"

namespace {

using Bytes = std::vector<uint8_t>;
using testsupport::read_file;
using testsupport::TempRouterRoot;

struct Record {
    unsigned long ms;
    uint8_t dir;
    uint8_t framing;
    Bytes frame;
    bool operator==(const Record &o) const {
        return ms == o.ms && dir == o.dir && framing == o.framing && frame == o.frame;
    }
};

// Reads back a capture file (link type 147), failing the test on anything malformed.
std::vector<Record> records_of(const std::string &file) {
    std::vector<Record> out;
    const uint8_t *p = reinterpret_cast<const uint8_t *>(file.data());
    size_t left = file.size();
    EXPECT_GE(left, kPcapFileHeaderSize);
    if (left < kPcapFileHeaderSize) return out;
    EXPECT_EQ(0xA1B2C3D4u, get_le32(p));
    EXPECT_EQ(kPcapLinkCard, get_le32(p + 20));
    p += kPcapFileHeaderSize;
    left -= kPcapFileHeaderSize;
    while (left > 0) {
        EXPECT_GE(left, kPcapRecordHeaderSize);
        if (left < kPcapRecordHeaderSize) break;
        uint32_t n = get_le32(p + 8);
        EXPECT_EQ(n, get_le32(p + 12));
        EXPECT_GE(n, 2u);
        EXPECT_LE(kPcapRecordHeaderSize + n, left);
        if (n < 2 || kPcapRecordHeaderSize + n > left) break;
        const uint8_t *r = p + kPcapRecordHeaderSize;
        out.push_back(
            {get_le32(p) * 1000ul + get_le32(p + 4) / 1000, r[0], r[1], Bytes(r + 2, r + n)});
        p += kPcapRecordHeaderSize + n;
        left -= kPcapRecordHeaderSize + n;
    }
    return out;
}

class PortCapture : public ::testing::Test {
  protected:
    void TearDown() override { port_capture_close(); }
    std::string console() const { return read_file(root_.host("/dev/console")); }
    TempRouterRoot root_;
    FakeEnv env_;
};

TEST_F(PortCapture, RecordsEachFrameWithDirectionFramingAndTimeWhateverTheReadsAndWrites) {
    std::string path = root_.host("/tmp/port.pcap");
    env_.advance(5000);
    ASSERT_EQ(0, port_capture_open(path.c_str(), kPcapKpc650, kPortCaptureMaxBytes));
    EXPECT_TRUE(port_capture_on());
    env_.advance(1234);
    const Bytes sent = {0x01, 0x7D, 0x5E, 0xAA, 0xBB, 0x7E};
    port_capture_sent(sent.data(), 3);  // one frame in two writes
    port_capture_sent(sent.data() + 3, 3);
    env_.advance(10);
    const Bytes glued = {0x02, 0x11, 0x22, 0x7E, 0x03, 0x33, 0x44, 0x7E, 0x04};
    port_capture_received(glued.data(), glued.size());  // two frames and a piece in one read
    port_capture_close();                               // the piece still held is written as it is
    EXPECT_FALSE(port_capture_on());
    port_capture_sent(sent.data(), sent.size());  // nothing after the close

    std::vector<Record> want = {
        {1234, kPcapToCard, kPcapKpc650, sent},
        {1244, kPcapFromCard, kPcapKpc650, {0x02, 0x11, 0x22, 0x7E}},
        {1244, kPcapFromCard, kPcapKpc650, {0x03, 0x33, 0x44, 0x7E}},
        {1244, kPcapFromCard, kPcapKpc650, {0x04}},
    };
    EXPECT_EQ(want, records_of(read_file(path)));
}

TEST_F(PortCapture, CnsFramesAreCutBetweenTheirTwoFlags) {
    std::string path = root_.host("/tmp/cns.pcap");
    ASSERT_EQ(0, port_capture_open(path.c_str(), kPcapCns, kPortCaptureMaxBytes));
    const Bytes two = {0x7E, 0x00, 0x01, 0x7E, 0x7E, 0x00, 0x02, 0x7E};
    port_capture_received(two.data(), two.size());
    port_capture_close();
    std::vector<Record> got = records_of(read_file(path));
    ASSERT_EQ(2u, got.size());
    EXPECT_EQ((Bytes{0x7E, 0x00, 0x01, 0x7E}), got[0].frame);
    EXPECT_EQ((Bytes{0x7E, 0x00, 0x02, 0x7E}), got[1].frame);
    EXPECT_EQ(kPcapCns, got[1].framing);
}

TEST_F(PortCapture, AFileThatCannotBeOpenedOrWrittenIsReportedOnceAndLeftOut) {
    std::string missing = root_.host("/no/such/dir/port.pcap");
    EXPECT_EQ(-1, port_capture_open(missing.c_str(), kPcapDiag, kPortCaptureMaxBytes));
    EXPECT_FALSE(port_capture_on());
    const Bytes frame = {0x00, 0x78, 0xF0, 0x7E};
    port_capture_sent(frame.data(), frame.size());
    EXPECT_EQ("modemd: capture " + missing + ": No such file or directory: not written\n",
              console());

    // A device that takes no bytes: the file header already fails.
    EXPECT_EQ(-1, port_capture_open("/dev/full", kPcapDiag, kPortCaptureMaxBytes));
    EXPECT_FALSE(port_capture_on());
    EXPECT_NE(std::string::npos,
              console().find("modemd: capture /dev/full: No space left on device: no longer "
                             "written\n"));
}

TEST_F(PortCapture, StopsWithOneLineAtItsSizeLimitKeepingWhatFits) {
    std::string path = root_.host("/tmp/small.pcap");
    const Bytes frame = {0x0A, 0x0B, 0x7E};
    size_t record = kPcapRecordHeaderSize + kPcapCardPseudoHeader + frame.size();
    ASSERT_EQ(0, port_capture_open(path.c_str(), kPcapCdu, kPcapFileHeaderSize + 2 * record));
    for (int i = 0; i < 4; ++i)
        port_capture_received(frame.data(), frame.size());
    EXPECT_FALSE(port_capture_on());
    EXPECT_EQ(2u, records_of(read_file(path)).size());
    EXPECT_EQ(kPcapFileHeaderSize + 2 * record, read_file(path).size());
    std::string line = "modemd: capture " + path + ": reached its limit of " +
                       std::to_string(kPcapFileHeaderSize + 2 * record) +
                       " bytes: no longer written\n";
    EXPECT_EQ(line, console());
}

}  // namespace
