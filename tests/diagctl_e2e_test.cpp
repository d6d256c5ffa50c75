// diagctl against the simulated card (sim/diagcard) as two programs over a pseudo-terminal:
// each output shape, -j and -d apart, the exit statuses, and the card's store file kept
// across a restart of the card.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <string>
#include <vector>

#include "tests/support/testsupport.h"

namespace {

using namespace testsupport;

class Diagctl : public ::testing::Test {
  protected:
    void TearDown() override {
        if (card_ > 0) stop_child(card_);
    }
    void start_card(const std::vector<std::string> &lines, const std::string &store = "") {
        std::string path_file = root_.host("/card.path");
        unlink(path_file.c_str());
        std::vector<std::string> args = {"-o", path_file, "-r", root_.host("/card.rx")};
        if (!store.empty()) args.insert(args.end(), {"-n", store});
        for (const std::string &l : lines)
            args.insert(args.end(), {"-e", l});
        SpawnOptions o;
        o.stdout_path = root_.host("/card.out");
        card_ = spawn_program("diagcard", args, o);
        ASSERT_TRUE(wait_until([&] { return !read_file(path_file).empty(); }, 20000));
        port_ = read_file(path_file);
        port_.pop_back();
    }
    void stop_card() {
        stop_child(card_);
        card_ = -1;
    }
    RunResult diagctl(const std::vector<std::string> &args) {
        std::vector<std::string> all = {"-p", port_};
        all.insert(all.end(), args.begin(), args.end());
        return run_program("diagctl", all, {}, 60000);
    }
    size_t frames_received() {
        std::string rx = read_file(root_.host("/card.rx"));
        size_t n = 0;
        for (char c : rx)
            n += c == '\n';
        return n;
    }

    TempRouterRoot root_;
    pid_t card_ = -1;
    std::string port_;
};

TEST_F(Diagctl, JsonShapes) {
    start_card({"nv 20 00 83 00 c9 01", "nv 21 00 10 00 20 00", "nv 259 00 34 12 01 00",
                "nv 178 00 36 31 39 35 35 35 31 32 33 34", "nv 33 00 00 00 fc 01",
                "nv 32 00 00 00 00 00 7b 04 6f 00"});
    RunResult r = diagctl({"-j", "show", "version"});
    EXPECT_EQ(0, r.exit_code()) << r.err;
    EXPECT_EQ(
        "{\"model\": 153, \"firmware\": 134, \"text\": "
        "\"Jan 01 200812:00:00Dec 31 200723:59:59SIMFW1.0\"}\n",
        r.out);
    r = diagctl({"-j", "network"});
    EXPECT_EQ(0, r.exit_code()) << r.err;
    EXPECT_EQ(
        "{\"service\": 6, \"level_1x\": 19, \"dbm_1x\": 93, \"level_evdo\": 15, "
        "\"dbm_evdo\": 100, \"roam\": 0, \"snapshot_flag\": 1, \"hybrid\": 1, "
        "\"evdo_state\": 2, \"primary_a\": 131, \"primary_b\": 457, \"secondary_a\": 16, "
        "\"secondary_b\": 32, \"status_word\": 258}\n",
        r.out);
    r = diagctl({"-j", "nam", "get", "sid-nid"});
    EXPECT_EQ(0, r.exit_code()) << r.err;
    EXPECT_EQ(0u, r.out.find("{\"nam\": 0, \"sid_nid\": [{\"sid\": 4660, \"nid\": 1}, "
                             "{\"sid\": 0, \"nid\": 0}"))
        << r.out;
    r = diagctl({"-j", "nam", "get", "channels"});
    EXPECT_EQ(
        "{\"nam\": 0, \"channels\": {\"primary_a\": 131, \"primary_b\": 457, "
        "\"secondary_a\": 16, \"secondary_b\": 32}}\n",
        r.out);
    r = diagctl({"-j", "nam", "get", "activated"});
    EXPECT_EQ("{\"nam\": 0, \"activated\": true}\n", r.out);
    r = diagctl({"-j", "nam", "get", "mdn"});
    EXPECT_EQ("{\"nam\": 0, \"mdn\": \"6195551234\"}\n", r.out);
    r = diagctl({"-j", "show", "status"});
    EXPECT_EQ("{\"hex\": \"" + std::string(66, '0') + "0201" + std::string(24, '0') +
                  "\", \"status_word\": 258}\n",
              r.out);
    r = diagctl({"-j", "nv", "write", "297", "0x02"});  // the value is hex bytes, not a number
    EXPECT_EQ(2, r.exit_code());
    r = diagctl({"-j", "nv", "write", "297", "02"});
    EXPECT_EQ("{\"item\": 297, \"nv_status\": 0}\n", r.out);
    r = diagctl({"-j", "item", "get", "mdr-mode"});
    EXPECT_EQ("{\"mdr_mode\": 2}\n", r.out);
    r = diagctl({"-j", "item", "set", "mip-profile", "0203612d62"});
    EXPECT_EQ(0, r.exit_code()) << r.err;
    r = diagctl({"-j", "item", "get", "mip-profile", "2"});
    EXPECT_EQ("{\"mip_profile\": \"0203612d62" + std::string(2 * 92, '0') + "\"}\n", r.out);
    r = diagctl({"-j", "item", "set", "mip-profile", "0649"});  // index 6: refused unsent
    EXPECT_EQ(2, r.exit_code());
    r = diagctl({"-j", "lock", "set", "on", "1111"});
    EXPECT_EQ(0, r.exit_code());  // whatever the card's result
    EXPECT_EQ("{\"result\": 0}\n", r.out);
}

TEST_F(Diagctl, PlainOutputAndTraceOnStandardError) {
    start_card({"prl-version 7"});
    RunResult r = diagctl({"show", "prl-version"});
    EXPECT_EQ(0, r.exit_code());
    EXPECT_EQ("prl_version: 7\n", r.out);
    r = diagctl({"-j", "-d", "show", "prl-version"});
    EXPECT_EQ(0, r.exit_code());
    EXPECT_EQ("{\"prl_version\": 7}\n", r.out);  // no hex among the JSON
    EXPECT_NE(std::string::npos, r.err.find("DIAG REQ (4 bytes):\n0000: 4b 32 0c 00\n")) << r.err;
    EXPECT_NE(std::string::npos, r.err.find("DIAG RSP (6 bytes):\n0000: 4b 32 0c 00 07 00\n"));
}

TEST_F(Diagctl, RefusalsExitWith1AndSayWhy) {
    start_card({"eri-error 3 9", "spc 123456"});
    RunResult r = diagctl({"-j", "nv", "read", "10", "-n", "1"});
    EXPECT_EQ(1, r.exit_code());
    EXPECT_EQ("{\"error\": \"nv read\", \"status\": 26, \"nv_status\": 5}\n", r.out);
    EXPECT_EQ("diagctl: nv read: status 26 (nv refused)\n", r.err);
    r = diagctl({"-j", "show", "eri"});
    EXPECT_EQ(1, r.exit_code());
    EXPECT_EQ("{\"error\": \"show eri\", \"status\": 1, \"eri_error\": 9}\n", r.out);
    r = diagctl({"-j", "spc", "000000"});
    EXPECT_EQ(1, r.exit_code());
    EXPECT_EQ("{\"accepted\": false}\n{\"error\": \"spc\", \"status\": 0}\n", r.out);
    r = diagctl({"spc", "123456"});
    EXPECT_EQ(0, r.exit_code());
    EXPECT_EQ("accepted: true\n", r.out);
    r = diagctl({"show", "rssi"});  // the plain model has no RSSI request
    EXPECT_EQ(1, r.exit_code());
    EXPECT_EQ("diagctl: show rssi: status 40 (not supported)\n", r.err);
}

TEST_F(Diagctl, UsageErrorsExitWith2BeforeThePortIsOpened) {
    start_card({});
    size_t before = frames_received();
    const std::vector<std::vector<std::string>> bad = {
        {"frobnicate"},
        {"nv", "read", "65536"},
        {"nv", "read", "12x"},
        {"nam", "get", "min", "-n", "2"},
        {"nam", "set", "min", "619555123"},
        {"nam", "set", "mdn", "61955512345"},
        {"nam", "set", "pref-mode", "70000"},
        {"nv", "write", "10", std::string(258, '0')},
        {"spc", "12345"},
        {"lock", "set", "maybe", "1234"},
        {"show", "everything"},
        {"prl", "write", root_.host("/no-such-file")},
    };
    for (const auto &args : bad) {
        RunResult r = diagctl(args);
        EXPECT_EQ(2, r.exit_code()) << args[0] << " " << (args.size() > 1 ? args[1] : "");
        EXPECT_EQ("", r.out);
    }
    EXPECT_EQ(before, frames_received());  // nothing reached the card
}

TEST_F(Diagctl, EngineThatDoesNotStartExitsWith3) {
    port_ = root_.host("/dev/no-such-port");
    RunResult r = diagctl({"-j", "show", "version"});
    EXPECT_EQ(3, r.exit_code());
    EXPECT_EQ("diagctl: start: status 100 (port not found)\n", r.err);
    EXPECT_EQ("{\"error\": \"start\", \"status\": 100}\n", r.out);
    start_card({"answer version silent"});
    r = diagctl({"show", "version"});
    EXPECT_EQ(3, r.exit_code());
    EXPECT_EQ("diagctl: start: status 101 (port busy or card silent)\n", r.err);
}

TEST_F(Diagctl, DefaultPortFromTheEnvironment) {
    start_card({});
    SpawnOptions o;
    o.env = {"DIAGCTL_PORT=" + port_};
    RunResult r = run_program("diagctl", {"show", "prl-version"}, o, 60000);
    EXPECT_EQ(0, r.exit_code()) << r.err;
    EXPECT_EQ("prl_version: 1\n", r.out);
}

TEST_F(Diagctl, StoreFileSurvivesACardRestart) {
    std::string store = root_.host("/card.nv");
    write_file(store, "nv 33 01 aa\nnv 32 01 bb\n");
    start_card({}, store);
    RunResult r = diagctl({"-j", "nam", "set", "min", "6195550234", "-n", "1"});
    ASSERT_EQ(0, r.exit_code()) << r.err;
    EXPECT_EQ("{\"nam\": 1, \"min\": \"6195550234\"}\n", r.out);
    std::vector<uint8_t> prl(250, 0x5A);
    write_file(root_.host("/prl.bin"), std::string(prl.begin(), prl.end()));
    r = diagctl({"-j", "prl", "write", root_.host("/prl.bin"), "-n", "1"});
    EXPECT_EQ("{\"chunks\": 3, \"bytes\": 250}\n", r.out);
    stop_card();
    std::string saved = read_file(store);
    EXPECT_NE(std::string::npos, saved.find("nv 33 01aa00fc01\n")) << saved;
    EXPECT_NE(std::string::npos, saved.find("prl-data 5a5a")) << saved;

    start_card({}, store);
    r = diagctl({"nam", "get", "min", "-n", "1"});
    EXPECT_EQ(0, r.exit_code()) << r.err;
    EXPECT_EQ("nam: 1\nmin: 6195550234\n", r.out);
}

TEST_F(Diagctl, InterruptShutsTheEngineDownAndLeaves) {
    // An NV read waits 7 seconds for its answer: room for a loaded host to see the request
    // reach the card and interrupt diagctl before the wait runs out on its own.
    start_card({"answer nv-read silent"});
    SpawnOptions o;
    o.stdout_path = root_.host("/diagctl.out");
    o.stderr_path = root_.host("/diagctl.err");
    pid_t pid = spawn_program("diagctl", {"-p", port_, "nv", "read", "10"}, o);
    // Wait until the request reaches the card (its answer never comes), then Ctrl-C.
    ASSERT_TRUE(wait_until(
        [&] { return read_file(root_.host("/card.rx")).find("rx 260a00") != std::string::npos; },
        30000));
    kill(pid, SIGINT);
    int status = wait_child(pid, 30000);
    ASSERT_NE(-1, status);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(130, WEXITSTATUS(status));
}

}  // namespace

TEST_F(Diagctl, TlCodecWithoutAPort) {
    port_ = "/nonexistent/port";  // never opened
    RunResult r = diagctl({"-j", "tl", "encode", "--to", "6195551234", "--bearer", "0102030405"});
    EXPECT_EQ(0, r.exit_code()) << r.err;
    EXPECT_EQ("{\"hex\": \"0000021002040702986555448d0008050102030405\", \"length\": 21}\n", r.out);
    r = diagctl({"-j", "tl", "encode", "--from", "123", "--ascii", "--number-type", "2",
                 "--number-plan", "1", "--subaddress", "a1b2"});
    EXPECT_EQ(0, r.exit_code()) << r.err;
    EXPECT_EQ("{\"hex\": \"000002100202069081989919800304002a1b20\", \"length\": 19}\n", r.out);
    r = diagctl({"-j", "tl", "decode",
                 "02070239"
                 "23"});
    EXPECT_EQ(0, r.exit_code()) << r.err;
    EXPECT_NE(std::string::npos,
              r.out.find("\"cause\": {\"reply_seq\": 14, \"error_class\": 1, \"cause_code\": 35}"))
        << r.out;
    EXPECT_NE(std::string::npos, r.out.find("\"address\": {\"digit_mode\": 0")) << r.out;
    EXPECT_EQ(2, diagctl({"tl", "encode", "--type", "1", "--to", "1"}).exit_code());
    EXPECT_EQ(2, diagctl({"tl", "encode", "--to", "12a"}).exit_code());
    EXPECT_EQ(2, diagctl({"tl", "decode", "0g"}).exit_code());
    r = diagctl({"-j", "tl", "decode", "00"});
    EXPECT_EQ(1, r.exit_code());
    EXPECT_EQ("{\"error\": \"tl decode\", \"status\": 8}\n", r.out);
}

TEST_F(Diagctl, SmsWriteListReadDelete) {
    start_card({"sms-add 7 0000021002"});
    RunResult r = diagctl({"-j", "sms", "write", "6195551234", "48656c6c6f"});
    EXPECT_EQ(0, r.exit_code()) << r.err;
    EXPECT_NE(std::string::npos,
              r.out.find("\"tl\": \"0000021002040702986555448d00080548656c6c6f\"}"))
        << r.out;
    r = diagctl({"-j", "sms", "list"});
    EXPECT_EQ("{\"count\": 2, \"indices\": [7, 8]}\n", r.out);
    r = diagctl({"-j", "sms", "read", "8"});
    EXPECT_EQ(0, r.exit_code()) << r.err;
    EXPECT_NE(std::string::npos, r.out.find("\"length\": 21, \"data\": \"0000")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("\"number\": \"6195551234\"")) << r.out;
    EXPECT_NE(std::string::npos, r.out.find("\"bearer\": \"48656c6c6f\"")) << r.out;
    // No such message: the card's nonzero byte 4 is a failure here.
    EXPECT_EQ(1, diagctl({"sms", "read", "3"}).exit_code());
    EXPECT_EQ(0, diagctl({"sms", "tag", "8", "read"}).exit_code());
    EXPECT_EQ(0, diagctl({"sms", "delete", "7"}).exit_code());
    EXPECT_EQ("{\"count\": 1, \"indices\": [8]}\n", diagctl({"-j", "sms", "list"}).out);
    EXPECT_EQ(0, diagctl({"sms", "delete", "all"}).exit_code());
    EXPECT_EQ("{\"count\": 0, \"indices\": []}\n", diagctl({"-j", "sms", "list"}).out);
    EXPECT_EQ(2, diagctl({"sms", "tag", "8", "maybe"}).exit_code());
}

TEST_F(Diagctl, ActivationFollowsTheCardsScript) {
    start_card({"activation-script 100:2560:01 300:2560:0e"});
    RunResult r = diagctl({"-j", "activation", "start", "*22899", "-t", "60"});
    EXPECT_EQ(0, r.exit_code()) << r.err;
    EXPECT_EQ(
        "{\"event\": 6, \"code\": 0, \"value\": 0}\n{\"event\": 6, \"code\": 11, \"value\": 0}\n"
        "{\"activated\": true}\n",
        r.out);
    stop_card();
    start_card({"activation-script 100:2560:0f"});
    r = diagctl({"-j", "activation", "start", "*22899"});
    EXPECT_EQ(1, r.exit_code());
    EXPECT_NE(std::string::npos, r.out.find("{\"activated\": false}")) << r.out;
    EXPECT_EQ(1, diagctl({"activation", "start", "*2a"}).exit_code());  // refused with 8
}

TEST_F(Diagctl, EventsLogAndFieldTest) {
    start_card({"nv 178 00 36 31 39 35 35 35 31 32 33 34"});
    RunResult r = diagctl({"-j", "log", "on", "0x1160"});
    EXPECT_EQ(0, r.exit_code()) << r.err;
    EXPECT_EQ("{\"log_code\": 4448}\n", r.out);
    EXPECT_EQ(1, diagctl({"log", "on", "0x2001"}).exit_code());
    r = diagctl({"-j", "fieldtest"});
    EXPECT_EQ(0, r.exit_code()) << r.err;
    EXPECT_EQ(0u, r.out.find("{\"fieldtest\": [{\"label\": \"Warranty Date\", \"value\": \"-\"}"))
        << r.out;
    EXPECT_NE(std::string::npos,
              r.out.find("{\"label\": \"Directory Number\", \"value\": \"6195551234\"}"));
    EXPECT_EQ(2, diagctl({"fieldtest", "-c", "0"}).exit_code());
    EXPECT_EQ(2, diagctl({"events", "-t"}).exit_code());
}
