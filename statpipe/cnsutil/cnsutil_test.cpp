// The relay's CnS library on a socket pair: stuffing on send, frames joined, separated and
// bounded on receive (on the fake clock), and the typed get.
#include "statpipe/cnsutil/cnsutil.h"

#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <vector>

#include "platform/env_fake.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes stuffed(const Bytes &d) {
    Bytes out = {0x7E};
    for (uint8_t b : d) {
        if (b == 0x7E || b == 0x7D) {
            out.push_back(0x7D);
            out.push_back(b ^ 0x20);
        } else {
            out.push_back(b);
        }
    }
    out.push_back(0x7E);
    return out;
}

Bytes cat(Bytes a, const Bytes &b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A heartbeat notification and a get answer for object 0x1000 with value 0000ABCD.
const Bytes kHeartbeat = {0x00, 0x0A, 0x6B, 0x00, 0x00, 0x00, 0x07,
                          0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
const Bytes kEsnAnswer = {0x00, 0x0E, 0x6B, 0x00, 0x10, 0x00, 0x02, 0x00, 0x78,
                          0x56, 0x34, 0x12, 0x00, 0x04, 0x00, 0x00, 0xAB, 0xCD};

class CnsUtil : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, sv_), 0);
        cns_forget();
        fd_send = fd_recv = sv_[0];
        env_.on_wait = [this](int, int) {
            ++waits_;
            if (!later_.empty()) {
                put(later_);
                later_.clear();
            }
        };
    }
    void TearDown() override {
        fd_send = fd_recv = -1;
        if (sv_[0] >= 0) close(sv_[0]);
        if (sv_[1] >= 0) close(sv_[1]);
    }
    void put(const Bytes &b) { ASSERT_EQ(write(sv_[1], b.data(), b.size()), ssize_t(b.size())); }
    Bytes take_sent() {
        uint8_t buf[4096];
        ssize_t n = read(sv_[1], buf, sizeof buf);
        return n > 0 ? Bytes(buf, buf + n) : Bytes{};
    }
    Bytes recv() {
        uint8_t buf[kCnsFrameMax];
        int n = cns_recv(sv_[0], buf, sizeof buf);
        last_ = n;
        return n > 0 ? Bytes(buf, buf + n) : Bytes{};
    }

    FakeEnv env_;
    int sv_[2] = {-1, -1};
    int waits_ = 0;
    int last_ = 0;
    Bytes later_;  // written by the peer when the code under test next waits
};

TEST_F(CnsUtil, SendStuffsTheFrameAsGivenInOneWrite) {
    Bytes frame = {0x00, 0x0C, 0x2B, 0x00, 0x10, 0x01, 0x01,
                   0x00, 0x7E, 0x7D, 0x34, 0x12, 0x00, 0x00};
    EXPECT_EQ(cns_send(sv_[0], frame.data(), int(frame.size()), frame.data() + 9), 14);
    EXPECT_EQ(take_sent(), stuffed(frame));
    EXPECT_EQ(cns_send(-1, frame.data(), int(frame.size()), frame.data() + 9), -1);
}

TEST_F(CnsUtil, TwoFramesOfOneReadComeOutOneByOneWithoutASecondRead) {
    put(cat(stuffed(kEsnAnswer), stuffed(kHeartbeat)));
    EXPECT_EQ(recv(), kEsnAnswer);
    EXPECT_TRUE(cns_frame_buffered());
    int waits = waits_;
    EXPECT_EQ(recv(), kHeartbeat);
    EXPECT_EQ(waits_, waits);  // taken from the buffer, the port not touched
    EXPECT_FALSE(cns_frame_buffered());
}

TEST_F(CnsUtil, FramesSharingAFlagAreSeparated) {
    Bytes both = stuffed(kEsnAnswer);
    Bytes second = stuffed(kHeartbeat);
    both.insert(both.end(), second.begin() + 1, second.end());  // one flag between them
    put(both);
    EXPECT_EQ(recv(), kEsnAnswer);
    EXPECT_EQ(recv(), kHeartbeat);
}

TEST_F(CnsUtil, AFrameSplitOverReadsIsJoined) {
    Bytes raw = stuffed(kEsnAnswer);
    put(Bytes(raw.begin(), raw.begin() + 7));
    later_.assign(raw.begin() + 7, raw.end());
    EXPECT_EQ(recv(), kEsnAnswer);
}

TEST_F(CnsUtil, APartWhoseRestNeverComesIsDroppedAtTheTimeLimit) {
    Bytes raw = stuffed(kEsnAnswer);
    put(Bytes(raw.begin(), raw.begin() + 7));
    unsigned long start = env_.now_ms();
    EXPECT_EQ(recv(), Bytes{});
    EXPECT_EQ(last_, 0);
    EXPECT_GE(env_.now_ms() - start, static_cast<unsigned long>(kCnsRestMs));
    EXPECT_FALSE(cns_frame_buffered());
    put(stuffed(kHeartbeat));  // the next frame is not glued to the dropped part
    EXPECT_EQ(recv(), kHeartbeat);
}

TEST_F(CnsUtil, AFrameAbove512BytesIsDroppedAndTheNextDelivered) {
    Bytes big(kCnsFrameMax + 1, 0x11);
    put(cat(stuffed(big), stuffed(kHeartbeat)));
    EXPECT_EQ(recv(), kHeartbeat);
    Bytes most(kCnsFrameMax, 0x22);
    put(stuffed(most));
    EXPECT_EQ(recv(), most);
}

TEST_F(CnsUtil, AFrameOfALoneEscapeIsSkippedNotTakenForTheEndOfTheBuffer) {
    put(cat(Bytes{0x7E, 0x7D, 0x7E}, stuffed(kHeartbeat)));
    EXPECT_EQ(recv(), kHeartbeat);
    EXPECT_EQ(waits_, 1);  // the one read brought both
}

TEST_F(CnsUtil, APortThatEndsFails) {
    close(sv_[1]);
    sv_[1] = -1;
    recv();
    EXPECT_EQ(last_, -1);
}

TEST_F(CnsUtil, GetInt32SendsTheGetAndReadsFourBytesPastANotification) {
    later_ = cat(stuffed(kHeartbeat), stuffed(kEsnAnswer));
    uint32_t v = 7;
    EXPECT_EQ(cns_get_int32(&v, 0x1000), 4);
    EXPECT_EQ(v, 0xABCDu);
    Bytes get = {0x00, 0x0A, 0x2B, 0x00, 0x10, 0x00, 0x01,
                 0x00, 0x78, 0x56, 0x34, 0x12, 0x00, 0x00};
    EXPECT_EQ(take_sent(), stuffed(get));
}

TEST_F(CnsUtil, GetInt32NeedsFourPayloadBytesAndAnAnswer) {
    Bytes two = {0x00, 0x0C, 0x6B, 0x00, 0x10, 0x00, 0x02, 0x00,
                 0x78, 0x56, 0x34, 0x12, 0x00, 0x02, 0xAB, 0xCD};
    later_ = stuffed(two);
    uint32_t v = 7;
    EXPECT_EQ(cns_get_int32(&v, 0x1000), -1);
    EXPECT_EQ(v, 7u);
    // Nothing at all: the wait runs out on the fake clock.
    EXPECT_EQ(cns_get_int32(&v, 0x1000), -1);
    EXPECT_EQ(v, 7u);
}

TEST(CnsRx, GarbageFillingTheBufferWithoutAFlagIsDropped) {
    CnsRx rx;
    cns_rx_reset(&rx);
    memset(cns_rx_tail(&rx), 0x41, cns_rx_room(&rx));
    cns_rx_added(&rx, cns_rx_room(&rx));
    uint8_t out[kCnsFrameMax];
    EXPECT_EQ(cns_rx_take(&rx, out, sizeof out), 0);
    EXPECT_EQ(cns_rx_room(&rx), kCnsRawMax);
}

}  // namespace
