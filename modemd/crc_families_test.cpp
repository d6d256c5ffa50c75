// The KPC650 and CDU families in-process against the simulated card, on the fake clock: the
// card is served on the test's own thread from the seam's wait hook (the request is there,
// the card answers, the answer is let through), so a card that stays silent costs its 2
// seconds of fake time and the CDU's polls a second of fake time each.
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/fcs16.h"
#include "modemd/cdu.h"
#include "modemd/families.h"
#include "modemd/kpc650.h"
#include "modemd/modem_port.h"
#include "modemd/msg2cmd_testing.h"
#include "platform/env_fake.h"
#include "platform/eventloop_testing.h"
#include "sim/cardsim/cardsim.h"
#include "tests/support/testsupport.h"

namespace {

using cardsim::Bytes;
using cardsim::CardSim;
using cardsim::Family;

// The frame as the card's wire carries it: data, check value low byte first, stuffed, flag.
Bytes crc_wire(const Bytes &data) {
    Bytes d = data;
    uint16_t fcs = fcs16(data.data(), data.size());
    d.push_back(static_cast<uint8_t>(fcs));
    d.push_back(static_cast<uint8_t>(fcs >> 8));
    Bytes w;
    for (uint8_t b : d) {
        if (b == 0x7E || b == 0x7D) {
            w.push_back(0x7D);
            w.push_back(b ^ 0x20);
        } else {
            w.push_back(b);
        }
    }
    w.push_back(0x7E);
    return w;
}

class CrcFamily : public ::testing::Test {
  protected:
    void start(Family family) {
        card_ = std::make_unique<CardSim>(family);
        std::string error;
        ASSERT_TRUE(card_->open_pty(&error)) << error;
        env_.on_wait = [this](int fd, int) { serve(fd); };
        eventloop_reset();
    }
    void TearDown() override {
        eventloop_reset();
        msg2cmd_free_nodes(&cdu_msg2cmd_node_list);
        msg2cmd_free_nodes(&kpc650_msg2cmd_node_list);
        for (int *fd : {&cdu_fd, &kpc650_fd})
            if (*fd >= 0) {
                close(*fd);
                *fd = -1;
            }
    }
    size_t count(const std::string &prefix) {
        const std::vector<std::string> &log = card_->log();
        return static_cast<size_t>(std::count_if(log.begin(), log.end(), [&](const std::string &l) {
            return l.compare(0, prefix.size(), prefix) == 0;
        }));
    }
    std::vector<std::string> lines(const std::string &prefix) {
        std::vector<std::string> out;
        for (const std::string &l : card_->log())
            if (l.compare(0, prefix.size(), prefix) == 0) out.push_back(l);
        return out;
    }
    // The card's turn in an exchange: it takes the request (waiting for the pty to deliver
    // it), and when it answers, the answer is waited for on the port before the fake wait
    // looks at it. A silent card leaves the port unreadable: the fake clock moves instead.
    void serve(int port) {
        size_t sent = count("sent");
        for (int i = 0; i < 100; ++i) {
            pollfd p = {card_->master_fd(), POLLIN, 0};
            if (poll(&p, 1, 100) <= 0) continue;
            if (answers_left_ == 0) say("fault noanswer 100");
            if (answers_left_ > 0) --answers_left_;
            card_->on_readable();
            break;
        }
        if (count("sent") == sent) return;
        pollfd p = {port, POLLIN, 0};
        poll(&p, 1, 10000);
    }
    void say(const std::string &line) { ASSERT_EQ("", card_->control(line)); }

    testsupport::TempRouterRoot root_;
    FakeEnv env_;
    std::unique_ptr<CardSim> card_;
    int answers_left_ = -1;  // from 0 on, the card stays silent
};

// --- KPC650 -------------------------------------------------------------------------------

TEST_F(CrcFamily, Kpc650PassThroughAnswersTheBytesOfOneRead) {
    start(Family::kKpc650);
    ASSERT_GE(kpc650_init(card_->slave_path().c_str()), 0);
    Bytes frame = crc_wire({0x00, 0x05, 0x09, 0x7E, 0x01});
    uint8_t reply[256];
    unsigned long before = env_.now_ms();
    int n = kpc650_diag_cmd_cait_data(frame.data(), static_cast<int>(frame.size()), reply,
                                      sizeof reply);
    ASSERT_GT(n, 0);
    EXPECT_EQ(frame, Bytes(reply, reply + n));  // the card's echo, unframed and unchecked
    EXPECT_EQ(before, env_.now_ms());
}

TEST_F(CrcFamily, Kpc650SilentCardFailsThePassThroughAfterTwoSeconds) {
    start(Family::kKpc650);
    ASSERT_GE(kpc650_init(card_->slave_path().c_str()), 0);
    say("fault noanswer");
    Bytes frame = crc_wire({0x00, 0x05, 0x09, 0x01});
    uint8_t reply[256];
    unsigned long before = env_.now_ms();
    EXPECT_EQ(-1, kpc650_diag_cmd_cait_data(frame.data(), static_cast<int>(frame.size()), reply,
                                            sizeof reply));
    EXPECT_EQ(before + 2000, env_.now_ms());
    EXPECT_EQ(1u, count("fault noanswer"));
}

// --- CDU ----------------------------------------------------------------------------------

// The position of command 210: the card's GPS sequence, with a second between status polls.
TEST_F(CrcFamily, CduStatusPollsASecondApartUntilReady) {
    start(Family::kCdu);
    say("gps ready 3");
    ASSERT_GE(cdu_init(card_->slave_path().c_str()), 0);
    size_t before = card_->log().size();
    unsigned long t0 = env_.now_ms();
    uint8_t reply[kGpsReplyLen];
    ASSERT_EQ(kGpsReplyLen, cdu_gps_get(nullptr, 0, reply, sizeof reply));
    EXPECT_EQ(t0 + 2000, env_.now_ms());  // two polls said "not ready"
    double lat;
    std::memcpy(&lat, reply + 8, 8);
    EXPECT_DOUBLE_EQ(48 + 7 / 60.0 + 380 / 600000.0, lat);
    std::vector<std::string> reqs;
    for (size_t i = before; i < card_->log().size(); ++i)
        if (card_->log()[i].compare(0, 4, "req ") == 0) reqs.push_back(card_->log()[i]);
    EXPECT_EQ((std::vector<std::string>{"req d70400", "req d70102", "req d70200", "req d900",
                                        "req d900", "req d900", "req d70000", "req d8"}),
              reqs);
}

// A status that never says ready: six polls, six seconds, then the sentence all the same.
TEST_F(CrcFamily, CduStatusThatNeverSaysReadyLeadsToTheSentenceAfterSixPolls) {
    start(Family::kCdu);
    say("gps never");
    say("nmea $GPRMC,081836,A,3751.65,S,14507.36,E,000.0,360.0,130998,011.3,E*62");
    ASSERT_GE(cdu_init(card_->slave_path().c_str()), 0);
    unsigned long t0 = env_.now_ms();
    uint8_t reply[kGpsReplyLen];
    ASSERT_EQ(kGpsReplyLen, cdu_gps_get(nullptr, 0, reply, sizeof reply));
    EXPECT_EQ(t0 + 6000, env_.now_ms());
    double lat;
    std::memcpy(&lat, reply + 8, 8);
    EXPECT_DOUBLE_EQ(-(37 + 51.65 / 60.0), lat);
    std::vector<std::string> reqs = lines("req ");
    EXPECT_EQ(6, std::count(reqs.begin(), reqs.end(), "req d900"));
    ASSERT_GE(reqs.size(), 2u);
    EXPECT_EQ("req d70000", reqs[reqs.size() - 2]);
    EXPECT_EQ("req d8", reqs.back());
}

TEST_F(CrcFamily, CduCardFallingSilentInTheSequenceFailsTheCommandAfterTwoSeconds) {
    start(Family::kCdu);
    say("gps never");
    ASSERT_GE(cdu_init(card_->slave_path().c_str()), 0);
    answers_left_ = 4;  // the three controls and the first poll
    unsigned long t0 = env_.now_ms();
    uint8_t reply[kGpsReplyLen];
    EXPECT_EQ(-1, cdu_gps_get(nullptr, 0, reply, sizeof reply));
    EXPECT_EQ(t0 + 1000 + 2000, env_.now_ms());  // one pause, then the unanswered wait
    EXPECT_EQ((std::vector<std::string>{"req d900", "req d900"}), lines("req d9"));
}

TEST_F(CrcFamily, CduEsnIsTheCardsBigEndianWordInHostOrder) {
    start(Family::kCdu);
    say("esn 01020304");
    ASSERT_GE(cdu_init(card_->slave_path().c_str()), 0);
    uint8_t reply[4];
    ASSERT_EQ(4, cdu_esn_get(nullptr, 0, reply, sizeof reply));
    uint32_t esn;
    std::memcpy(&esn, reply, 4);
    EXPECT_EQ(0x01020304u, esn);
    EXPECT_EQ(-1, cdu_esn_get(nullptr, 0, reply, 3));
}

}  // namespace
