// modemd driving simulated Sierra, KPC650 and CDU cards over a pty, asked through the client
// library, with what the card received and what modemd wrote checked. The CDU's status polls
// and a silent card's time-outs are tested in-process on the fake clock
// (modemd/crc_families_test.cpp); one CDU position case here proves the wiring.
#include <gtest/gtest.h>
#include <sys/msg.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "sim/cardsim/cardsim_thread.h"
#include "tests/support/framing_oracle.h"
#include "tests/support/testsupport.h"
#include "tools/modem_client.h"

namespace {

using cardsim::CardSimThread;
using cardsim::Family;
using Bytes = std::vector<uint8_t>;
using namespace testsupport;

Bytes data_of(const ModemReply &r) {
    return Bytes(r.data, r.data + r.data_len);
}

class CardFamily : public ::testing::Test {
  protected:
    void SetUp() override { key_ = unused_ipc_key(); }
    void TearDown() override {
        stop_modemd();
        if (client_open_) modem_client_close(&client_);
        int q = msgget(key_, 0);
        if (q >= 0) msgctl(q, IPC_RMID, nullptr);
    }
    void make_card(Family f) {
        card_ = std::make_unique<CardSimThread>(f);
        ASSERT_TRUE(card_->ok());
    }
    void say(const std::string &line) { ASSERT_EQ("", card_->control(line)) << line; }

    // Starts modemd on the card and waits until it serves its queue.
    void start(const char *family) {
        out_ = root_.host("/modemd" + std::to_string(++starts_) + ".out");
        SpawnOptions o;
        o.stdout_path = out_;
        o.env = {"MODEMD_QUEUE_KEY=" + std::to_string(key_)};
        pid_ = spawn_program("modemd", {"-t", family, "-f", card_->slave()}, o);
        if (!client_open_) {
            ASSERT_TRUE(wait_until([&] { return msgget(key_, 0) >= 0; }, 30000));
            ASSERT_EQ(0, modem_client_open(&client_, key_));
            client_open_ = true;
        }
        ModemReply r;
        bool serving = wait_until(
            [&] {
                return msgget(key_, 0) >= 0 &&
                       modem_client_call(&client_, 999, nullptr, 0, 1, &r) == 0 &&
                       r.result == kResultNoHandler;
            },
            60000);
        ASSERT_TRUE(serving) << read_file(out_);
    }
    void stop_modemd() {
        stop_child(pid_);
        pid_ = -1;
    }
    ModemReply call(uint16_t cmd, const Bytes &data = {}, int timeout_s = 30) {
        ModemReply r{};
        r.result = 99;
        EXPECT_EQ(0, modem_client_call(&client_, cmd, data.data(), data.size(), timeout_s, &r))
            << "command " << cmd;
        return r;
    }
    std::string out() const { return read_file(out_); }
    std::string console() const { return read_file(root_.host("/dev/console")); }

    TempRouterRoot root_;
    std::unique_ptr<CardSimThread> card_;
    int key_ = -1;
    pid_t pid_ = -1;
    int starts_ = 0;
    std::string out_;
    ModemClient client_{};
    bool client_open_ = false;
};

// --- Sierra -------------------------------------------------------------------------------

class SierraCard : public CardFamily {
  protected:
    void SetUp() override {
        CardFamily::SetUp();
        make_card(Family::kSierra);
    }
};

TEST_F(SierraCard, ReportsTheCardArmsNotificationsAndAnswersEsnLeastSignificantFirst) {
    start("sierra_module");
    std::string text = out();
    EXPECT_NE(std::string::npos, text.find("####################### Hardware Refrence "
                                           "############################### \n"
                                           "ESN: 8a1b2c3d (Hex) or 2317036605 (Decimal)\n"
                                           "Hardware Temperatur: 38 C\n"));
    EXPECT_NE(std::string::npos, text.find("Second Port Rate: set to  0001c200 (Hex) or 115200 "
                                           "(Decimal)\n"));
    EXPECT_NE(std::string::npos, text.find("Mobile Directory Number(MDN)#0: 8585550123\n"));
    EXPECT_NE(std::string::npos, text.find("IMSI(MIN)#1: \n"));
    EXPECT_NE(std::string::npos, text.find("Signal Strength: 75 Dbm\nCurren Active Channel "
                                           "Number: 283\nChannel Status: 1\n"));
    EXPECT_NE(std::string::npos, text.find("SMS Status: Urgen-0;Normal-0;Voice-0\n"));
    // Heartbeat off, SMS status and send status on.
    std::vector<std::string> reqs = card_->log_lines("req ");
    auto sent = [&](const std::string &msg) {
        for (const std::string &r : reqs)
            if (r.find(msg) != std::string::npos) return true;
        return false;
    };
    EXPECT_TRUE(sent("2b0000000800785634120000"));
    EXPECT_TRUE(sent("2b0020000500785634120000"));
    EXPECT_TRUE(sent("2b0020050500785634120000"));

    ModemReply r = call(1);
    EXPECT_EQ(kResultOk, r.result);
    EXPECT_EQ(16u, r.len);
    EXPECT_EQ((Bytes{0x3D, 0x2C, 0x1B, 0x8A}), data_of(r));
}

TEST_F(SierraCard, AnswersTheCardValuesInHostOrder) {
    say("set 1001 ffb5");
    say("set 4008 0102");
    start("sierra_module");
    EXPECT_EQ((Bytes{0xB5, 0xFF}), data_of(call(2)));
    EXPECT_EQ((Bytes{0x02, 0x01}), data_of(call(3)));
    EXPECT_EQ((Bytes{0x01, 0x00}), data_of(call(4)));
    EXPECT_EQ((Bytes{0x01, 0x00}), data_of(call(5)));
    ModemReply phone = call(6);
    EXPECT_EQ(22u, phone.len);
    EXPECT_EQ("8585550123", std::string(phone.data, phone.data + phone.data_len));
}

TEST_F(SierraCard, EmptyPhoneNumberIsResult1) {
    say("set 1002");
    start("sierra_module");
    ModemReply r = call(6);
    EXPECT_EQ(kResultFailed, r.result);
    EXPECT_EQ(11u, r.len);
    EXPECT_EQ(std::string::npos, out().find("Phone Number:"));
}

TEST_F(SierraCard, TwoStartsLeaveTheHandsetMuteWhereItWas) {
    start("sierra_module");
    EXPECT_NE(std::string::npos,
              out().find("Handset Mute: 0\nHandset Mute: set to 1\nHandset Mute: 1\n"));
    stop_modemd();
    start("sierra_module");
    EXPECT_NE(std::string::npos,
              out().find("Handset Mute: 1\nHandset Mute: set to 0\nHandset Mute: 0\n"));
}

TEST_F(SierraCard, NotificationsReachTheConsole) {
    start("sierra_module");
    say("notify heartbeat");
    ASSERT_TRUE(wait_until([&] { return console().size() >= 31; }, 10000));
    EXPECT_EQ("Receive Heardbeat OID packet. \n", console());
    // One notification at a time: frames that reach modemd in one read are one bad frame.
    say("notify sendstatus 0007 0001 00ab");
    ASSERT_TRUE(
        wait_until([&] { return console().find("CauseCode") != std::string::npos; }, 10000));
    say("notify 1001 0042");
    std::string expected =
        "Receive Heardbeat OID packet. \n"
        "Receive Send Status OID packet. MsgID:0007;ErrorCode:0001;CauseCode:00ab\n"
        "Unknown (1001) OID received \n";
    ASSERT_TRUE(wait_until([&] { return console().size() >= expected.size(); }, 10000));
    EXPECT_EQ(expected, console());
}

TEST_F(SierraCard, ShortMessageCommandsServeTheLoadedStore) {
    say("sms 5551234 hello");
    say("sms 5559876 world");
    start("sierra_module");
    EXPECT_NE(std::string::npos, out().find("node->sender = 5559876 \nnode->body = world \n"));
    ModemReply r = call(7);
    EXPECT_EQ(kResultOk, r.result);
    EXPECT_EQ((Bytes{0, 0, 2, 0}), data_of(r));
    for (uint16_t cmd : {8, 9, 10, 11}) {
        r = call(cmd, {1, 2, 3, 4});
        EXPECT_EQ(kResultOk, r.result) << cmd;
        EXPECT_EQ(12u, r.len) << cmd;
    }
    EXPECT_EQ(2u, card_->log_lines("ack").size());
}

TEST_F(SierraCard, DiagPassThroughSendsTheBytesAndAnswersTheCardsReply) {
    say("diag 4b0a0b0c0d0e0f101112131415");
    start("sierra_module");
    Bytes req = {0x4B, 0x7E, 0x7D, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C};
    ModemReply r = call(200, req);
    EXPECT_EQ(kResultOk, r.result);
    EXPECT_EQ((Bytes{0x4B, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15}),
              data_of(r));
    EXPECT_EQ("req 000d2d004b7e7d030405060708090a0b0c", card_->log_lines("req ").back());
    EXPECT_EQ(kResultFailed, call(200, Bytes(241, 1)).result);  // more than a request holds
}

TEST_F(SierraCard, BadAnswersFailOneCommandAndServingGoesOn) {
    start("sierra_module");
    for (const char *fault : {"notice", "wrongtype", "short"}) {
        say(std::string("fault ") + fault);
        EXPECT_EQ(kResultFailed, call(2).result) << fault;
        EXPECT_EQ((Bytes{75, 0}), data_of(call(2))) << fault;
    }
}

TEST_F(SierraCard, AnswerSplitOverTwoWritesFailsAndTheTailIsNotTakenForTheNextAnswer) {
    start("sierra_module");
    size_t tails = card_->log_lines("tail").size();
    say("fault split");
    EXPECT_EQ(kResultFailed, call(2).result);
    ASSERT_TRUE(card_->wait_log("tail", tails + 1, 10000));
    ModemReply r = call(2);
    EXPECT_EQ(kResultOk, r.result);
    EXPECT_EQ((Bytes{75, 0}), data_of(r));
}

TEST_F(SierraCard, CardThatVanishesLeavesModemdServingAndIdle) {
    start("sierra_module");
    say("vanish");
    ASSERT_TRUE(wait_until([&] { return console().find("is gone") != std::string::npos; }, 10000));
    EXPECT_EQ(kResultFailed, call(1).result);
    EXPECT_EQ(kResultFailed, call(200, Bytes(12, 1)).result);
    EXPECT_EQ(kResultOk, call(7).result);
    EXPECT_EQ(kResultNoHandler, call(999).result);
    // No busy loop on the hung-up port: over a second the process uses a small share of a CPU
    // (a spinning loop would use all of it).
    long before = process_cpu_ticks(pid_);
    ASSERT_GE(before, 0);
    usleep(1000000);
    long used = process_cpu_ticks(pid_) - before;
    EXPECT_LT(used, sysconf(_SC_CLK_TCK) / 3) << "ticks used in one idle second: " << used;
    EXPECT_EQ(0, waitpid(pid_, nullptr, WNOHANG));
    std::string text = console();
    EXPECT_EQ(text.find("is gone"), text.rfind("is gone"));
}

// --- KPC650 -------------------------------------------------------------------------------

Bytes crc_wire(const Bytes &data) {
    return testsupport::oracle_fcs_frame(data);
}

class Kpc650Card : public CardFamily {
  protected:
    void SetUp() override {
        CardFamily::SetUp();
        make_card(Family::kKpc650);
        start("kpc650");
    }
    // A pass-through the card answers: once one comes back clean, every frame the card sent
    // before it has been taken by modemd (a frame still on its way when the request went out
    // can be read as that request's answer, so a few tries are allowed).
    void barrier() {
        Bytes frame = {0x00, 0x05, 0x09, 0x7E, 0x01};
        bool clean = false;
        for (int i = 0; i < 3 && !clean; ++i) {
            ModemReply r = call(200, crc_wire(frame));
            clean = r.result == kResultOk && data_of(r) == crc_wire(frame);
        }
        EXPECT_TRUE(clean);
    }
};

TEST_F(Kpc650Card, KeepAliveIsEchoedWithAFreshCheckValueAndNothingPrinted) {
    say("keepalive");
    ASSERT_TRUE(card_->wait_log("echo", 1, 10000));
    EXPECT_EQ("echo 000c01000000000000000003", card_->log_lines("echo")[0]);
    EXPECT_TRUE(card_->log_lines("bad").empty());
    barrier();
    EXPECT_EQ(std::string::npos, out().find("receive notice"));
}

TEST_F(Kpc650Card, BadCheckValueIsNeitherEchoedNorPrinted) {
    say("fault badcrc");
    say("keepalive");
    barrier();
    EXPECT_TRUE(card_->log_lines("echo").empty());
    EXPECT_EQ(std::string::npos, out().find("receive notice"));
}

TEST_F(Kpc650Card, OtherFramesArePrinted) {
    say("frame 000c01000000000000000004");
    ASSERT_TRUE(wait_until([&] { return out().find("MSGTYPE: 4\n") != std::string::npos; }, 10000));
    EXPECT_NE(std::string::npos, out().find("receive notice information: \n"
                                            "                   COMMAND: 1\n"
                                            "                   CHANNEL: 0\n"));
    EXPECT_TRUE(card_->log_lines("echo").empty());
}

TEST_F(Kpc650Card, PassThroughOfTheSingleByte7EWritesExactlyThatByte) {
    ModemReply r = call(200, {0x7E});
    EXPECT_EQ(kResultFailed, r.result);  // the card answers no empty frame
    EXPECT_EQ((std::vector<std::string>{"raw 7e"}), card_->log_lines("raw"));
}

// --- CDU ----------------------------------------------------------------------------------

class CduCard : public CardFamily {
  protected:
    void SetUp() override {
        CardFamily::SetUp();
        make_card(Family::kCdu);
    }
    std::vector<std::string> requests() { return card_->log_lines("req "); }
};

TEST_F(CduCard, EsnAndAPositionFromTheGpsSequence) {
    say("gps ready 2");
    start("cdu");
    EXPECT_NE(std::string::npos, out().find("ESN: 8a1b2c3d (Hex) or 2317036605 (Decimal)\n"));
    EXPECT_EQ((Bytes{0x3D, 0x2C, 0x1B, 0x8A}), data_of(call(1)));
    size_t before = requests().size();
    ModemReply r = call(210);
    ASSERT_EQ(kResultOk, r.result);
    ASSERT_EQ(56u, r.data_len);
    double lat, lon;
    memcpy(&lat, r.data + 8, 8);
    memcpy(&lon, r.data + 16, 8);
    EXPECT_DOUBLE_EQ(48 + 7 / 60.0 + 380 / 600000.0, lat);
    EXPECT_DOUBLE_EQ(11 + 31 / 60.0, lon);
    EXPECT_EQ(545, static_cast<int32_t>(get_host32(r.data + 24)));
    EXPECT_EQ(0u, get_host32(r.data));
    EXPECT_EQ(0u, get_host32(r.data + 4));
    for (int i = 28; i < 56; ++i)
        EXPECT_EQ(0, r.data[i]) << i;
    std::vector<std::string> reqs = requests();
    EXPECT_EQ((std::vector<std::string>{"req d70400", "req d70102", "req d70200", "req d900",
                                        "req d900", "req d70000", "req d8"}),
              std::vector<std::string>(reqs.begin() + static_cast<long>(before), reqs.end()));
    EXPECT_EQ(kResultNoHandler, call(200, {1, 2, 3, 4}).result);
}

TEST_F(CduCard, StrayBytesFromTheCardAreDroppedNotTakenAsTheNextAnswer) {
    start("cdu");
    say("raw 0102030405");
    ASSERT_TRUE(card_->wait_log("sent raw", 1, 10000));
    // A command no family has is answered in the loop round after the stray bytes were read.
    EXPECT_EQ(kResultNoHandler, call(999).result);
    EXPECT_EQ((Bytes{0x3D, 0x2C, 0x1B, 0x8A}), data_of(call(1)));
}

// --- cardsim, the program -----------------------------------------------------------------

TEST(CardsimProgram, PlaysACardForModemdAndModemctlThroughItsOptionsAndControlPipe) {
    TempRouterRoot root;
    int key = unused_ipc_key();
    std::string path = root.host("/card.path"), log = root.host("/card.log"),
                fifo = root.host("/card.ctl");
    pid_t sim = spawn_program(
        "cardsim", {"--family", "cdu", "-o", path, "-l", log, "-c", fifo, "-e", "esn 01020304"});
    ASSERT_TRUE(wait_until([&] { return !read_file(path).empty(); }, 30000));
    std::string slave = read_file(path);
    slave.pop_back();
    SpawnOptions o;
    o.env = {"MODEMD_QUEUE_KEY=" + std::to_string(key)};
    o.stdout_path = root.host("/modemd.out");
    pid_t daemon = spawn_program("modemd", {"-t", "cdu", "-f", slave}, o);
    RunResult r;
    EXPECT_TRUE(wait_until(
        [&] {
            r = run_program("modemctl", {"-t", "5", "esn"}, o);
            return r.exit_code() == 0;
        },
        60000));
    EXPECT_EQ("result 0\nlen 16\ndata 04 03 02 01\nesn 01020304 (hex) 16909060 (decimal)\n", r.out);
    EXPECT_NE(std::string::npos, read_file(log).find("req 01\n"));
    write_file(fifo, "vanish\n");
    EXPECT_NE(-1, wait_child(sim, 30000));  // the card is gone, the program ends
    EXPECT_TRUE(wait_until(
        [&] { return read_file(root.host("/dev/console")).find("is gone") != std::string::npos; },
        10000));
    r = run_program("modemctl", {"-t", "10", "esn"}, o);
    EXPECT_EQ(1, r.exit_code());
    stop_child(daemon);
    int q = msgget(key, 0);
    if (q >= 0) msgctl(q, IPC_RMID, nullptr);
}

}  // namespace
