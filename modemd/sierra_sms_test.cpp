// The Sierra SMS loader and the store's commands, against a simulated card on a pty.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "common/bytes.h"
#include "modemd/modem_port.h"
#include "modemd/sierra.h"
#include "modemd/sms.h"
#include "modemd/sms_testing.h"
#include "sim/cardsim/cardsim_thread.h"
#include "tests/support/testsupport.h"

namespace {

using cardsim::CardSimThread;
using cardsim::Family;

class SierraSms : public ::testing::Test {
  protected:
    void SetUp() override {
        sms_free_all();
        sms_init();
        ASSERT_TRUE(card_.ok());
    }
    void TearDown() override {
        if (fd_ >= 0) close(fd_);
        sms_free_all();
    }
    void load() {
        fd_ = modem_port_open(card_.slave().c_str());
        ASSERT_GE(fd_, 0);
        sierra_sms_load(fd_);
    }
    int stored() {
        int n = 0;
        for (sms_node *p = sms_list; p; p = p->next)
            ++n;
        return n;
    }
    void say(const std::string &line) { ASSERT_EQ("", card_.control(line)) << line; }

    std::string console() { return testsupport::read_file(root_.host("/dev/console")); }

    testsupport::TempRouterRoot root_;
    CardSimThread card_{Family::kSierra};
    int fd_ = -1;
};

TEST_F(SierraSms, StoresEachMessageNewestFirstAndAcknowledgesIt) {
    say("sms 5551234 first text");
    say("sms 5559876 second text");
    load();
    ASSERT_EQ(2, stored());
    EXPECT_STREQ("5559876", sms_list->sender);
    EXPECT_STREQ("second text", sms_list->body);
    EXPECT_STREQ("first text", sms_list->next->body);
    EXPECT_EQ(0, sms_list->flags);
    EXPECT_EQ(0x25, sms_list->timestamp[0]);
    EXPECT_EQ(0x30, sms_list->timestamp[4]);
    EXPECT_EQ((std::vector<std::string>{"ack 0001", "ack 0002"}), card_.log_lines("ack"));
}

TEST_F(SierraSms, FirstChunkNotOfTypeOneSkipsThatMessageOnly) {
    say("sms 1 one");
    say("sms 2 two");
    say("sms 3 three");
    say("smsfirst 1 0");
    load();
    ASSERT_EQ(2, stored());
    EXPECT_STREQ("three", sms_list->body);
    EXPECT_STREQ("one", sms_list->next->body);
    EXPECT_EQ((std::vector<std::string>{"ack 0001", "ack 0003"}), card_.log_lines("ack"));
}

TEST_F(SierraSms, LastChunkOfType3EndsTheMessageAndIsAcknowledged) {
    say("chunk 60");  // four chunks
    say("smslast 3");
    say("sms 42 " + std::string(50, 'x'));
    load();
    ASSERT_EQ(1, stored());
    EXPECT_EQ(std::string(50, 'x'), sms_list->body);
    EXPECT_EQ((std::vector<std::string>{"ack 0001"}), card_.log_lines("ack"));
}

TEST_F(SierraSms, SixtyFiveWaitingStoreSixtyFourAndTheLastStaysInTheCard) {
    for (int i = 0; i < 65; ++i)
        say("sms 555" + std::to_string(i) + " text " + std::to_string(i));
    load();
    EXPECT_EQ(64, stored());
    EXPECT_EQ(nullptr, sms_free_list);
    EXPECT_EQ(64u, card_.log_lines("ack").size());  // the 65th was neither read nor acknowledged
}

TEST_F(SierraSms, OversizedPartsAreCutToTheRecord) {
    std::string sender(40, '7');
    say("chunk 200");
    say("sms " + sender + " " + std::string(1000, 'b'));  // 1184 bytes assembled
    load();
    ASSERT_EQ(1, stored());
    EXPECT_EQ(std::string(31, '7'), sms_list->sender);
    EXPECT_EQ(std::string(255, 'b'), sms_list->body);
    EXPECT_EQ(1u, card_.log_lines("ack").size());
}

TEST_F(SierraSms, MessageShorterThanItsHeaderIsSkipped) {
    say("smsraw " + std::string(100 * 2, '3'));  // 100 bytes of 0x33
    say("sms 5551234 fine");
    load();
    ASSERT_EQ(1, stored());
    EXPECT_STREQ("fine", sms_list->body);
}

// Each get the card leaves unanswered costs the exchange's time-out: the loader stops at the
// first, whatever count of waiting messages the card reported.
TEST_F(SierraSms, CardThatStopsAnsweringAfterTheStatusEndsTheLoadAtOnce) {
    for (int i = 0; i < 5; ++i)
        say("sms 555 text " + std::to_string(i));
    say("fault noanswer 1000 1");  // the status is answered, then nothing
    load();
    EXPECT_EQ(0, stored());
    EXPECT_EQ(2u, card_.log_lines("req ").size());  // the status get and one chunk get
    EXPECT_EQ("sms: card stopped answering at message 1 of 5: loading stopped\n", console());
}

TEST_F(SierraSms, MessageWhoseChunksStopComingEndsTheLoad) {
    say("chunk 60");  // four chunks a message
    say("sms 1 " + std::string(50, 'a'));
    say("sms 2 " + std::string(50, 'b'));
    say("sms 3 " + std::string(50, 'c'));
    say("fault noanswer 1000 7");  // status, message 1 (4 chunks, ack), first chunk of message 2
    load();
    ASSERT_EQ(1, stored());
    EXPECT_EQ(std::string(50, 'a'), sms_list->body);
    EXPECT_EQ(8u, card_.log_lines("req ").size());
    EXPECT_EQ("sms: card stopped answering at message 2 of 3: loading stopped\n", console());
}

TEST_F(SierraSms, NoStatusLoadsNothing) {
    say("fault noanswer");
    load();
    EXPECT_EQ(0, stored());
}

class SmsCommands : public ::testing::Test {
  protected:
    void SetUp() override {
        sms_free_all();
        sms_init();
    }
    void TearDown() override { sms_free_all(); }
    void store(uint16_t flags) {
        sms_node *n = sms_malloc_one();
        ASSERT_NE(nullptr, n);
        n->flags = flags;
        sms_store(n);
    }
    uint8_t buf_[1016] = {};
};

TEST_F(SmsCommands, StatusCountsFlaggedThenUnflagged) {
    EXPECT_EQ(4, sms_get_status(buf_, 4, buf_, sizeof buf_));
    EXPECT_EQ(0u, get_le32(buf_));
    EXPECT_EQ(-1, sms_read(buf_, 4, buf_, sizeof buf_));
    for (int i = 0; i < 3; ++i)
        store(0);
    EXPECT_EQ(4, sms_get_status(buf_, 4, buf_, sizeof buf_));
    EXPECT_EQ((std::vector<uint8_t>{0, 0, 3, 0}), std::vector<uint8_t>(buf_, buf_ + 4));
    store(1);
    ASSERT_EQ(4, sms_get_status(buf_, 4, buf_, sizeof buf_));
    EXPECT_EQ((std::vector<uint8_t>{1, 0, 3, 0}), std::vector<uint8_t>(buf_, buf_ + 4));
    EXPECT_EQ(0, sms_read(buf_, 4, buf_, sizeof buf_));
}

TEST_F(SmsCommands, WriteRemoveAndFlagSucceedAndChangeNothing) {
    store(0);
    for (auto handler : {sms_write, sms_remove, sms_flag})
        EXPECT_EQ(0, handler(buf_, 8, buf_, sizeof buf_));
    ASSERT_EQ(4, sms_get_status(buf_, 4, buf_, sizeof buf_));
    EXPECT_EQ((std::vector<uint8_t>{0, 0, 1, 0}), std::vector<uint8_t>(buf_, buf_ + 4));
}

}  // namespace
