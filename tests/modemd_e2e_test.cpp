// modemd as a whole program: options, the command queue and its wire format, under load.
// The KPC650 family is used because opening it does not wait for a card; the commands asked
// here are ones it has no handler for.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/msg.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/msgcmd.h"
#include "tests/support/testsupport.h"

namespace {

using namespace testsupport;

// A raw queue client that can send malformed messages.
class RawClient {
  public:
    RawClient() {
        key_ = unused_ipc_key();
        qid_ = msgget(key_, IPC_CREAT | IPC_EXCL | 0600);
        reply_key = key_;
    }
    ~RawClient() { msgctl(qid_, IPC_RMID, nullptr); }
    int key() const { return key_; }
    int reply_key = 0;  // the reply key the requests name; set to this client's own queue

    bool send(int server_key, long mtype, uint16_t cmd, size_t text_len, uint32_t len = 16) {
        struct {
            msgcmd m;
            uint8_t beyond[4096];  // room for oversized requests
        } big{};
        msgcmd &m = big.m;
        if (text_len > sizeof big - sizeof(long)) return false;
        m.mtype = mtype;
        msgcmd_set_keyid(m, reply_key);
        m.text[4] = 0x11;
        m.text[7] = 0x44;
        m.text[10] = 0x55;
        m.text[11] = 0x66;
        msgcmd_set_cmd(m, cmd);
        msgcmd_set_len(m, len);
        int server = msgget(server_key, 0);
        return server >= 0 && msgsnd(server, &big, text_len, 0) == 0;
    }
    // Waits up to `timeout_ms` for one answer; returns its text length or -1.
    ssize_t receive(msgcmd *m, int timeout_ms) {
        ssize_t n = -1;
        (void)wait_until(  // n stays -1 when nothing came: the caller looks at it
            [&] {
                n = msgrcv(qid_, m, kMsgcmdTextSize, 0, IPC_NOWAIT | MSG_NOERROR);
                return n >= 0;
            },
            timeout_ms);
        return n;
    }

  private:
    int key_;
    int qid_;
};

class Modemd : public ::testing::Test {
  protected:
    void SetUp() override {
        key_ = unused_ipc_key();
        out_ = root_.host("/modemd.out");
    }
    void TearDown() override {
        stop_child(pid_);
        int q = msgget(key_, 0);
        if (q >= 0) msgctl(q, IPC_RMID, nullptr);
    }
    SpawnOptions options() const {
        SpawnOptions o;
        o.stdout_path = out_;
        o.env = {"MODEMD_QUEUE_KEY=" + std::to_string(key_)};
        return o;
    }
    // Starts modemd and waits until it answers on its queue.
    void start(std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"-t", "kpc650", "-f", pty_.slave};
        args.insert(args.end(), extra.begin(), extra.end());
        pid_ = spawn_program("modemd", args, options());
        RawClient probe;
        msgcmd m;
        bool serving = wait_until(
            [&] {
                if (!probe.send(key_, 1, 999, 24)) return false;
                return probe.receive(&m, 200) >= 0;
            },
            20000);
        ASSERT_TRUE(serving) << read_file(out_);
    }

    TempRouterRoot root_;
    Pty pty_;
    int key_ = -1;
    pid_t pid_ = -1;
    std::string out_;
};

TEST_F(Modemd, UnhandledCommandGetsResult2WithEveryHeaderFieldEchoed) {
    start();
    RawClient client;
    ASSERT_TRUE(client.send(key_, 0x7FFF1234, 999, 24));
    msgcmd m;
    ASSERT_EQ(20, client.receive(&m, 10000));  // 24 bytes counting the board's 4-byte mtype
    EXPECT_EQ(0x7FFF1234, m.mtype);
    EXPECT_EQ(client.key(), msgcmd_keyid(m));
    EXPECT_EQ(0x11, m.text[4]);
    EXPECT_EQ(0x44, m.text[7]);
    EXPECT_EQ(999, msgcmd_cmd(m));
    EXPECT_EQ(0x55, m.text[10]);
    EXPECT_EQ(0x66, m.text[11]);
    EXPECT_EQ(12u, msgcmd_len(m));
    EXPECT_EQ(kResultNoHandler, msgcmd_result(m));
}

// The queues with key 0 (IPC_PRIVATE) that `pid` last sent to, from /proc/sysvipc/msg.
std::vector<int> private_queues_sent_to_by(pid_t pid) {
    std::vector<int> ids;
    std::istringstream table(read_file("/proc/sysvipc/msg"));
    std::string header;
    std::getline(table, header);
    long key, msqid, perms, cbytes, qnum, lspid;
    while (table >> key >> msqid >> perms >> cbytes >> qnum >> lspid) {
        if (key == 0 && lspid == pid) ids.push_back(static_cast<int>(msqid));
        table.ignore(1024, '\n');
    }
    return ids;
}

TEST_F(Modemd, RequestNamingReplyKey0GetsNoReplyAndCreatesNoQueue) {
    start({"-d"});
    RawClient careless, client;
    careless.reply_key = 0;
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(careless.send(key_, 1, 999, 24));
    ASSERT_TRUE(client.send(key_, 2, 999, 24));  // answered after the five were taken
    msgcmd m;
    ASSERT_EQ(20, client.receive(&m, 10000));
    std::vector<int> leaked = private_queues_sent_to_by(pid_);
    for (int id : leaked)
        msgctl(id, IPC_RMID, nullptr);
    EXPECT_TRUE(leaked.empty()) << leaked.size() << " private queue(s) created for replies";
    EXPECT_NE(std::string::npos, read_file(out_).find("modemd: command 999 names reply key 0: "
                                                      "dropped\n"));
}

TEST_F(Modemd, RequestOf23TextBytesIsDroppedAnd24IsAnswered) {
    start();
    RawClient client;
    ASSERT_TRUE(client.send(key_, 1, 999, 23));
    ASSERT_TRUE(client.send(key_, 2, 999, 24));
    msgcmd m;
    ASSERT_EQ(20, client.receive(&m, 10000));
    EXPECT_EQ(2, m.mtype);  // the short one was never answered
    EXPECT_EQ(-1, client.receive(&m, 300));
}

TEST_F(Modemd, OversizedMessageIsTakenTruncatedAndServingGoesOn) {
    start();
    RawClient client;
    ASSERT_TRUE(client.send(key_, 1, 999, 4000));
    ASSERT_TRUE(client.send(key_, 2, 999, 24));
    msgcmd m;
    ASSERT_EQ(20, client.receive(&m, 10000));
    EXPECT_EQ(1, m.mtype);
    ASSERT_EQ(20, client.receive(&m, 10000));
    EXPECT_EQ(2, m.mtype);
}

TEST_F(Modemd, StaleQueueIsRemovedWithItsMessagesAtStart) {
    int stale = msgget(key_, IPC_CREAT | IPC_EXCL | 0660);
    ASSERT_GE(stale, 0);
    RawClient client;
    for (long i = 100; i < 105; ++i)
        ASSERT_TRUE(client.send(key_, i, 999, 24));
    start();
    EXPECT_NE(stale, msgget(key_, 0));
    ASSERT_TRUE(client.send(key_, 7, 999, 24));
    msgcmd m;
    ASSERT_EQ(20, client.receive(&m, 10000));
    EXPECT_EQ(7, m.mtype);  // none of the stale requests was served
    EXPECT_EQ(-1, client.receive(&m, 300));
}

TEST_F(Modemd, DebugDumpsEachMessage) {
    start({"-d"});
    EXPECT_TRUE(
        wait_until([&] { return read_file(out_).find("MSGQUEUE") != std::string::npos; }, 5000));
}

TEST_F(Modemd, RemovedQueueIsReportedOnceAndTheDaemonStaysQuiet) {
    start();
    ASSERT_EQ(0, msgctl(msgget(key_, 0), IPC_RMID, nullptr));
    std::string console = root_.host("/dev/console");
    ASSERT_TRUE(
        wait_until([&] { return read_file(console).find("removed") != std::string::npos; }, 5000));
    usleep(200000);
    EXPECT_EQ(0, waitpid(pid_, nullptr, WNOHANG));  // still running
    std::string text = read_file(console);
    EXPECT_EQ(text.find("removed"), text.rfind("removed"));
}

TEST_F(Modemd, FourClientsTenThousandCommandsNoneLostOrReordered) {
    start();
    constexpr int kClients = 4, kPerClient = 2500, kWindow = 16;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int c = 0; c < kClients; ++c) {
        threads.emplace_back([&] {
            RawClient client;
            long sent = 0, expected = 1;
            msgcmd m;
            while (expected <= kPerClient) {
                while (sent < kPerClient && sent - expected + 1 < kWindow) {
                    if (!client.send(key_, ++sent, 999, 24)) {
                        ++failures;
                        return;
                    }
                }
                if (client.receive(&m, 20000) != 20 || m.mtype != expected ||
                    msgcmd_result(m) != kResultNoHandler) {
                    ++failures;
                    return;
                }
                ++expected;
            }
        });
    }
    for (std::thread &t : threads)
        t.join();
    EXPECT_EQ(0, failures.load());
}

struct BadStart {
    const char *name;
    std::vector<std::string> args;
    std::string stdout_tail;
};

class ModemdOptions : public ::testing::TestWithParam<BadStart> {};

TEST_P(ModemdOptions, StopsThroughTheUsageExit) {
    TempRouterRoot root;
    Pty pty;
    std::vector<std::string> args;
    for (const std::string &a : GetParam().args)
        args.push_back(a == "PTY" ? pty.slave : a);
    SpawnOptions o;
    o.env = {"MODEMD_QUEUE_KEY=" + std::to_string(unused_ipc_key())};
    RunResult r = run_program("modemd", args, o, 20000);
    EXPECT_EQ(1, r.exit_code()) << r.out;
    std::string tail = GetParam().stdout_tail;
    std::string prog = program_path("modemd");
    size_t at = tail.find("PROG");
    if (at != std::string::npos) tail.replace(at, 4, prog);
    ASSERT_GE(r.out.size(), tail.size()) << r.out;
    EXPECT_EQ(tail, r.out.substr(r.out.size() - tail.size())) << r.out;
    EXPECT_EQ(0u, r.out.find("\n" + prog + " build on ")) << r.out;
}

INSTANTIATE_TEST_SUITE_P(
    BadCommandLines, ModemdOptions,
    ::testing::Values(BadStart{"UnknownFamily",
                               {"-t", "bogus", "-f", "PTY"},
                               "bad prodid be input .... exit . \nPROG"},
                      BadStart{"MissingPort", {"-t", "kpc650"}, "\nPROG"},
                      BadStart{"ExtraArgument", {"-t", "kpc650", "-f", "PTY", "extra"}, "\nPROG"},
                      BadStart{"UnknownOption", {"-x", "-t", "kpc650", "-f", "PTY"}, "\nPROG"},
                      BadStart{"NoFamily", {"-f", "PTY"}, "\nPROG"},
                      BadStart{"PortCannotOpen",
                               {"-t", "kpc650", "-f", "/nonexistent/port"},
                               "cnsport_open /nonexistent/port fail .... \n"}),
    [](const ::testing::TestParamInfo<BadStart> &p) { return std::string(p.param.name); });

TEST(ModemdFamilies, LaterBadFamilyKeepsTheEarlierChoice) {
    TempRouterRoot root;
    Pty pty;
    int key = unused_ipc_key();
    SpawnOptions o;
    o.env = {"MODEMD_QUEUE_KEY=" + std::to_string(key)};
    o.stdout_path = root.host("/out");
    pid_t pid = spawn_program("modemd", {"-t", "kpc650", "-t", "bogus", "-f", pty.slave}, o);
    bool queue = wait_until([&] { return msgget(key, 0) >= 0; }, 20000);
    stop_child(pid);
    if (queue) msgctl(msgget(key, 0), IPC_RMID, nullptr);
    EXPECT_TRUE(queue) << read_file(root.host("/out"));
}

TEST(ModemdFamilies, BadQueueKeyVariableStopsTheStart) {
    TempRouterRoot root;
    Pty pty;
    SpawnOptions o;
    o.env = {"MODEMD_QUEUE_KEY=12abc"};
    RunResult r = run_program("modemd", {"-t", "kpc650", "-f", pty.slave}, o, 20000);
    EXPECT_EQ(1, r.exit_code());
    EXPECT_NE(std::string::npos, r.err.find("MODEMD_QUEUE_KEY"));
}

// modemctl against a running modemd, and against a queue nobody serves.
class Modemctl : public Modemd {};

TEST_F(Modemctl, NoHandlerPrintsTheAnswerAndExits2) {
    start();
    SpawnOptions o;
    o.env = {"MODEMD_QUEUE_KEY=" + std::to_string(key_)};
    RunResult r = run_program("modemctl", {"-t", "10", "esn"}, o);
    EXPECT_EQ(2, r.exit_code());
    EXPECT_EQ("result 2\nlen 12\ndata\n", r.out);
    EXPECT_NE(std::string::npos, r.err.find("no handler for command 1"));
}

TEST_F(Modemctl, KeyOptionOverridesTheEnvironment) {
    start();
    SpawnOptions o;
    o.env = {"MODEMD_QUEUE_KEY=" + std::to_string(unused_ipc_key())};  // nobody there
    RunResult r =
        run_program("modemctl", {"-k", std::to_string(key_), "-t", "10", "999", "0102030405"}, o);
    EXPECT_EQ(2, r.exit_code()) << r.err;
    EXPECT_EQ("result 2\nlen 12\ndata\n", r.out);
}

TEST(ModemctlAlone, TimesOutExits3AndRemovesItsQueue) {
    TempRouterRoot root;
    int key = unused_ipc_key();
    int q = msgget(key, IPC_CREAT | IPC_EXCL | 0600);  // a queue nobody serves
    ASSERT_GE(q, 0);
    RunResult r = run_program("modemctl", {"-k", std::to_string(key), "-t", "1", "rssi"});
    msgctl(q, IPC_RMID, nullptr);
    EXPECT_EQ(3, r.exit_code());
    EXPECT_NE(std::string::npos, r.err.find("no answer from modemd within 1 s"));
}

TEST(ModemctlAlone, InterruptRemovesItsQueue) {
    TempRouterRoot root;
    int key = unused_ipc_key();
    int q = msgget(key, IPC_CREAT | IPC_EXCL | 0600);  // stands in for modemd's queue
    ASSERT_GE(q, 0);
    pid_t pid = spawn_program("modemctl", {"-k", std::to_string(key), "-t", "60", "rssi"});
    // The request names modemctl's reply queue.
    msgcmd request;
    ssize_t n = -1;
    EXPECT_TRUE(wait_until(
        [&] {
            n = msgrcv(q, &request, kMsgcmdTextSize, 0, IPC_NOWAIT | MSG_NOERROR);
            return n >= 0;
        },
        20000));
    ASSERT_EQ(24, n);
    EXPECT_EQ(2, msgcmd_cmd(request));
    EXPECT_EQ(12u, msgcmd_len(request));
    int reply_key = msgcmd_keyid(request);
    EXPECT_GE(msgget(reply_key, 0), 0);
    kill(pid, SIGINT);
    int status = wait_child(pid, 10000);
    msgctl(q, IPC_RMID, nullptr);
    ASSERT_TRUE(status != -1 && WIFEXITED(status));
    EXPECT_EQ(128 + SIGINT, WEXITSTATUS(status));
    EXPECT_LT(msgget(reply_key, 0), 0);
}

TEST(ModemctlAlone, NoDaemonQueueExits4) {
    RunResult r = run_program("modemctl", {"-k", std::to_string(unused_ipc_key()), "esn"});
    EXPECT_EQ(4, r.exit_code());
    EXPECT_NE(std::string::npos, r.err.find("no modemd queue"));
}

}  // namespace
