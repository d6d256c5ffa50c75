// modemd with the "novatel" family against the simulated DIAG card (sim/diagcard): start-up,
// command 210, a card that refuses, a card that fails its start, and a card pulled out.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/msg.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/msgcmd.h"
#include "tests/support/testsupport.h"

namespace {

using namespace testsupport;

// CPU time (clock ticks) and context switches of every thread of a process, from /proc.
struct ProcessLoad {
    long ticks = 0;
    long switches = 0;
};

ProcessLoad process_load(pid_t pid) {
    ProcessLoad load;
    std::string dir = "/proc/" + std::to_string(pid) + "/task";
    DIR *d = opendir(dir.c_str());
    if (!d) return load;
    while (dirent *e = readdir(d)) {
        if (e->d_name[0] == '.') continue;
        std::string task = dir + "/" + e->d_name;
        std::string stat = read_file(task + "/stat");
        size_t paren = stat.rfind(')');
        if (paren != std::string::npos) {
            std::istringstream fields(stat.substr(paren + 2));
            std::string f;
            long utime = 0, stime = 0;
            for (int i = 3; i <= 15 && fields >> f; ++i) {  // fields 14 and 15: utime, stime
                if (i == 14) utime = atol(f.c_str());
                if (i == 15) stime = atol(f.c_str());
            }
            load.ticks += utime + stime;
        }
        std::ifstream status(task + "/status");
        std::string line;
        while (std::getline(status, line))
            if (line.find("ctxt_switches:") != std::string::npos)
                load.switches += atol(line.substr(line.find(':') + 1).c_str());
    }
    closedir(d);
    return load;
}

struct Answer {
    ssize_t message_size = -1;  // counting the board's 4-byte mtype
    uint32_t result = 0;
    uint32_t len = 0;
    std::vector<uint8_t> data;
};

class Novatel : public ::testing::Test {
  protected:
    void SetUp() override {
        key_ = unused_ipc_key();
        reply_key_ = unused_ipc_key();
        reply_qid_ = msgget(reply_key_, IPC_CREAT | IPC_EXCL | 0600);
        ASSERT_GE(reply_qid_, 0);
        ASSERT_EQ(0, pipe2(control_, O_CLOEXEC));
    }
    void TearDown() override {
        stop_child(modemd_);
        stop_child(card_);
        for (int fd : control_)
            if (fd >= 0) close(fd);
        msgctl(reply_qid_, IPC_RMID, nullptr);
        int q = msgget(key_, 0);
        if (q >= 0) msgctl(q, IPC_RMID, nullptr);
    }
    void start_card(const std::vector<std::string> &lines) {
        std::vector<std::string> args = {"-o", root_.host("/card.path"), "-r",
                                         root_.host("/card.rx")};
        for (const std::string &l : lines) {
            args.push_back("-e");
            args.push_back(l);
        }
        SpawnOptions o;
        o.stdin_fd = control_[0];
        o.stdout_path = root_.host("/card.out");
        card_ = spawn_program("diagcard", args, o);
        close(control_[0]);
        control_[0] = -1;
        ASSERT_TRUE(
            wait_until([&] { return !read_file(root_.host("/card.path")).empty(); }, 20000));
        port_ = read_file(root_.host("/card.path"));
        port_.pop_back();  // the line end
    }
    SpawnOptions modemd_options() {
        SpawnOptions o;
        o.stdout_path = root_.host("/modemd.out");
        o.env = {"MODEMD_QUEUE_KEY=" + std::to_string(key_)};
        return o;
    }
    // Starts modemd on the card and waits until it serves its queue.
    void start_modemd() {
        modemd_ = spawn_program("modemd", {"-t", "novatel", "-f", port_}, modemd_options());
        ASSERT_TRUE(wait_until([&] { return msgget(key_, 0) >= 0; }, 30000))
            << read_file(root_.host("/modemd.out"));
    }
    void control(const std::string &line) {
        std::string text = line + "\n";
        ASSERT_EQ(static_cast<ssize_t>(text.size()), write(control_[1], text.data(), text.size()));
    }
    Answer ask(uint16_t cmd) {
        msgcmd m{};
        m.mtype = ++mtype_;
        msgcmd_set_keyid(m, reply_key_);
        msgcmd_set_cmd(m, cmd);
        msgcmd_set_len(m, kMsgcmdLenBase);
        Answer a;
        if (msgsnd(msgget(key_, 0), &m, kMsgcmdMinText, 0) < 0) return a;
        ssize_t n = -1;
        (void)wait_until(  // n stays -1 when nothing came: checked below
            [&] {
                n = msgrcv(reply_qid_, &m, kMsgcmdTextSize, mtype_, IPC_NOWAIT | MSG_NOERROR);
                return n >= 0;
            },
            30000);
        if (n < static_cast<ssize_t>(kMsgcmdHeaderText)) return a;
        a.message_size = n + static_cast<ssize_t>(kMtypeWire);
        a.result = msgcmd_result(m);
        a.len = msgcmd_len(m);
        a.data.assign(msgcmd_data(m), msgcmd_data(m) + (n - kMsgcmdHeaderText));
        return a;
    }
    bool alive() { return waitpid(modemd_, nullptr, WNOHANG) == 0; }
    // An idle daemon uses next to no processor time and is hardly ever woken; a thread spinning
    // on a dead port, or polling one, would use much of the second or wake all through it.
    void expect_idle_for_a_second() {
        ProcessLoad before = process_load(modemd_);
        sleep(1);
        ProcessLoad after = process_load(modemd_);
        EXPECT_LT(after.ticks - before.ticks, 20);
        EXPECT_LT(after.switches - before.switches, 50);
    }

    TempRouterRoot root_;
    int key_ = -1, reply_key_ = -1, reply_qid_ = -1;
    int control_[2] = {-1, -1};
    long mtype_ = 0;
    pid_t card_ = -1, modemd_ = -1;
    std::string port_;
};

double get_double(const uint8_t *p) {
    double v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

uint32_t get_u32(const uint8_t *p) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

TEST_F(Novatel, PositionIsAnsweredWith56BytesAndTheStartIsReported) {
    start_card({"position lat=8388608 lon=-4194304 time=900 mask=1 altm=35"});
    start_modemd();
    Answer a = ask(210);
    EXPECT_EQ(80, a.message_size);
    EXPECT_EQ(kResultOk, a.result);
    EXPECT_EQ(68u, a.len);
    ASSERT_GE(a.data.size(), 56u);
    EXPECT_EQ(900u, get_u32(a.data.data()));
    EXPECT_EQ(45.0, get_double(a.data.data() + 8));
    EXPECT_EQ(-22.5, get_double(a.data.data() + 16));
    EXPECT_EQ(35u, get_u32(a.data.data() + 24));

    EXPECT_NE(std::string::npos,
              read_file(root_.host("/modemd.out")).find("\n\tGPS Stream Started\n"));
    EXPECT_EQ("\tDevice diag port opened successfully", read_file(root_.host("/dev/console")));
    std::string rx = read_file(root_.host("/card.rx"));
    EXPECT_EQ(0u, rx.find("rx 00\nrx 4b320b00000000000000\nrx 6001\nrx 4b0d0000")) << rx;

    SpawnOptions o;
    o.env = {"MODEMD_QUEUE_KEY=" + std::to_string(key_)};
    RunResult r = run_program("modemctl", {"-t", "20", "gps"}, o);
    EXPECT_EQ(0, r.exit_code()) << r.err;
    EXPECT_NE(std::string::npos,
              r.out.find("gps time 900 latitude 45.000000 longitude -22.500000 altitude 35 m"))
        << r.out;
}

TEST_F(Novatel, BadParameterAnswerGivesResult0AndNoData) {
    start_card({"answer gps-position error 0x14"});
    start_modemd();
    Answer a = ask(210);
    EXPECT_EQ(24, a.message_size);
    EXPECT_EQ(kResultOk, a.result);
    EXPECT_EQ(12u, a.len);
}

TEST_F(Novatel, RefusedStreamIsSilentAndPositionsStillAnswered) {
    start_card({"answer gps-start error 0x13", "position lat=8388608"});
    start_modemd();
    Answer a = ask(210);
    EXPECT_EQ(68u, a.len);
    EXPECT_EQ(std::string::npos, read_file(root_.host("/modemd.out")).find("GPS Stream Started"));
}

TEST_F(Novatel, CardThatFailsItsVersionStopsTheStart) {
    start_card({"version-length 54"});
    RunResult r = run_program("modemd", {"-t", "novatel", "-f", port_}, modemd_options(), 30000);
    EXPECT_EQ(1, r.exit_code());
    EXPECT_NE(std::string::npos, r.out.find("cnsport_open " + port_ + " fail .... \n")) << r.out;
}

TEST_F(Novatel, CardPulledOutLeavesTheDaemonAliveAndIdle) {
    start_card({"position lat=8388608"});
    start_modemd();
    ASSERT_EQ(68u, ask(210).len);
    expect_idle_for_a_second();  // with the card in: the reader thread sleeps until it speaks
    control("pull");
    // The engine stops by itself; the position is then an empty success.
    ASSERT_TRUE(wait_until([&] { return ask(210).len == 12; }, 30000));
    ASSERT_TRUE(alive());

    expect_idle_for_a_second();

    Answer a = ask(210);
    EXPECT_EQ(kResultOk, a.result);
    EXPECT_EQ(12u, a.len);
    EXPECT_TRUE(alive());
}

}  // namespace
