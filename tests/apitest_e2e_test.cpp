// apitest as a whole program against modemd and a simulated Sierra card: what it prints, the
// card's gets in order, a card that stays silent for one object, and no modemd at all.
#include <gtest/gtest.h>
#include <sys/msg.h>

#include <memory>
#include <string>
#include <vector>

#include "sim/cardsim/cardsim_thread.h"
#include "tests/support/testsupport.h"
#include "tools/modem_client.h"

namespace {

using cardsim::CardSimThread;
using cardsim::Family;
using namespace testsupport;

std::string label(const std::string &name) {
    return name + std::string(40 - name.size(), ' ');
}

class Apitest : public ::testing::Test {
  protected:
    void SetUp() override { key_ = unused_ipc_key(); }
    void TearDown() override {
        stop_child(modemd_);
        int q = msgget(key_, 0);
        if (q >= 0) msgctl(q, IPC_RMID, nullptr);
    }
    SpawnOptions options(const std::string &out) const {
        SpawnOptions o;
        o.stdout_path = out;
        o.env = {"MODEMD_QUEUE_KEY=" + std::to_string(key_)};
        return o;
    }
    void start_card_and_modemd() {
        card_ = std::make_unique<CardSimThread>(Family::kSierra);
        ASSERT_TRUE(card_->ok());
        say("set 1001 004b");
        say("set 4008 0102");
        say("set 1009 0001");
        say("set 1006 0002");
        for (const char *m : {"5551234 one", "5551235 two", "5551236 three"})
            say(std::string("sms ") + m);
        std::string out = root_.host("/modemd.out");
        modemd_ =
            spawn_program("modemd", {"-t", "sierra_module", "-f", card_->slave()}, options(out));
        // Serving once the card's start-up is over and the queue answers.
        ModemClient probe{};
        ASSERT_TRUE(wait_until([&] { return msgget(key_, 0) >= 0; }, 60000)) << read_file(out);
        ASSERT_EQ(0, modem_client_open(&probe, key_));
        ModemReply r;
        bool serving = wait_until(
            [&] { return modem_client_call(&probe, 999, nullptr, 0, 1, &r) == 0; }, 60000);
        modem_client_close(&probe);
        ASSERT_TRUE(serving) << read_file(out);
        gets_before_ = gets().size();
    }
    void say(const std::string &line) { ASSERT_EQ("", card_->control(line)) << line; }
    // The objects the card was asked for with a CnS get, in order, as 4 hex digits.
    std::vector<std::string> gets() {
        std::vector<std::string> objs;
        for (const std::string &line : card_->log_lines("req 000a2b00"))
            if (line.size() >= 18 && line.compare(16, 2, "01") == 0)
                objs.push_back(line.substr(12, 4));
        return objs;
    }
    RunResult apitest() { return run_program("apitest", {}, options(""), 120000); }

    TempRouterRoot root_;
    std::unique_ptr<CardSimThread> card_;
    int key_ = -1;
    pid_t modemd_ = -1;
    size_t gets_before_ = 0;
};

TEST_F(Apitest, PrintsEveryValueAndAsksTheCardInOrder) {
    start_card_and_modemd();
    RunResult r = apitest();
    EXPECT_EQ(0, r.exit_code()) << r.err;
    EXPECT_EQ(label("test cl_get_esn()") + "8a1b2c3d\n" + label("test cl_get_rssi()") + "004b\n" +
                  label("test cl_get_bandclass()") + "0102\n" +
                  label("test cl_get_activation_status()") + "0001\n" +
                  label("test cl_get_service_indication()") + "0002\n" +
                  label("test cl_get_sms_status()") + "00030000\n" + label("test cl_read_sms()") +
                  label("test cl_write_sms()") + label("test cl_flag_sms()") +
                  label("test cl_remove_sms()"),
              r.out);
    std::vector<std::string> all = gets();
    std::vector<std::string> asked(all.begin() + static_cast<long>(gets_before_), all.end());
    EXPECT_EQ((std::vector<std::string>{"1000", "1001", "4008", "1009", "1006"}), asked);
}

TEST_F(Apitest, SilentSignalStrengthFailsThatCallOnly) {
    start_card_and_modemd();
    say("fault noanswer 1 1");  // the ESN is answered, the signal strength is not
    RunResult r = apitest();
    EXPECT_EQ(0, r.exit_code()) << r.err;
    EXPECT_EQ(label("test cl_get_esn()") + "8a1b2c3d\n" + label("test cl_get_rssi()") + "fail\n" +
                  label("test cl_get_bandclass()") + "0102\n" +
                  label("test cl_get_activation_status()") + "0001\n" +
                  label("test cl_get_service_indication()") + "0002\n" +
                  label("test cl_get_sms_status()") + "00030000\n",
              r.out.substr(0, r.out.find("test cl_read_sms()")));
}

TEST_F(Apitest, WithoutModemdEveryCallFailsAndTheExitStatusIsFinas) {
    RunResult r = apitest();
    EXPECT_EQ(0, r.exit_code()) << r.err;
    std::string fails;
    for (const char *name : {"test cl_get_esn()", "test cl_get_rssi()", "test cl_get_bandclass()",
                             "test cl_get_activation_status()", "test cl_get_service_indication()",
                             "test cl_get_sms_status()"})
        fails += label(name) + "fail\n";
    fails += label("test cl_read_sms()");
    for (int i = 0; i < 10; ++i)
        fails += "fail\n";
    fails += label("test cl_write_sms()") + "fail\n";
    fails += label("test cl_flag_sms()") + "fail\n";
    fails += label("test cl_remove_sms()");
    for (int i = 0; i < 10; ++i)
        fails += "fail\n";
    EXPECT_EQ(fails, r.out);
    size_t lines = 0;
    for (char c : r.out)
        lines += c == '\n';
    EXPECT_EQ(28u, lines);
}

}  // namespace
