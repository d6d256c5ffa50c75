// The firmware download end to end: rmagent against sim/rcmserver serving an image built by
// trximg's library, with the real mtd writing /flash/linux, on loopback with real time.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/nvram_testing.h"
#include "tests/support/testsupport.h"
#include "tools/trx_image.h"

namespace {

using namespace testsupport;

class Firmware : public ::testing::Test {
  protected:
    void SetUp() override {
        nvram_testing_forget();
        mkdir(root_.host("/bin").c_str(), 0755);
        mkdir(root_.host("/proc").c_str(), 0755);
        mkdir(root_.host("/flash").c_str(), 0755);
        script("killall", "exit 0");
        script("mtd", "exec " + program_command("mtd") + " \"$@\"");
        write_file(root_.host("/proc/meminfo"),
                   "MemTotal: 65536 kB\nMemFree: 32768 kB\nBuffers: 0 kB\nCached: 0 kB\n");
        write_file(root_.host("/flash/linux"), "old image");
        ring_key_ = unused_ipc_key();
        ASSERT_TRUE(ring_.start("syslogring", {"-k", std::to_string(ring_key_), "-s", "4096"},
                                root_.host("/ring.out")));
        ASSERT_TRUE(wait_until(
            [&] { return read_file(root_.host("/ring.out")).find("ready") == 0; }, 30000));
        ASSERT_TRUE(server_.start("rcmserver", {"-j", "-p", "0", "-o", root_.host("/port")},
                                  root_.host("/server.out")));
        ASSERT_TRUE(wait_until([&] { return !read_file(root_.host("/port")).empty(); }, 30000));
        init_ = fork();
        if (init_ == 0) {
            pause();
            _exit(0);
        }
        write_file(root_.host("/var/run/init.pid"), std::to_string(init_));
    }
    void TearDown() override {
        stop_child(agent_);
        if (init_ > 0) {
            kill(init_, SIGKILL);
            waitpid(init_, nullptr, 0);
        }
        nvram_testing_forget();
    }
    void script(const std::string &name, const std::string &body) {
        std::string path = root_.host("/bin/" + name);
        write_file(path, "#!/bin/sh\n" + body + "\n");
        chmod(path.c_str(), 0755);
    }
    void start_agent() {
        SpawnOptions o;
        int port = std::stoi(read_file(root_.host("/port")));
        o.env = {"RMAGENT_PORT=0", "RMAGENT_ADDR=127.0.0.1",
                 "RMAGENT_SERVER_PORT=" + std::to_string(port),
                 "RMAGENT_SYSLOG_KEY=" + std::to_string(ring_key_)};
        o.path_prefix = root_.host("/bin");
        o.stderr_path = root_.host("/agent.err");
        agent_ = spawn_program("rmagent", {"-d", "-s", "127.0.0.1", "-m", "fw.example"}, o);
        ASSERT_TRUE(printed("/server.out", "wl0_sta_maxunit"))
            << read_file(root_.host("/agent.err"));
    }
    std::vector<uint8_t> write_image(size_t payload) {
        TrxBuild b;
        std::vector<uint8_t> p(payload);
        for (size_t i = 0; i < payload; ++i)
            p[i] = static_cast<uint8_t>(i * 13 + (i >> 10));
        b.payloads.push_back(p);
        std::vector<uint8_t> img = trx_build(b);
        write_file(root_.host("/image.trx"), std::string(img.begin(), img.end()));
        return img;
    }
    bool printed(const std::string &file, const std::string &text, int timeout_ms = 60000) const {
        return wait_until(
            [&] { return read_file(root_.host(file)).find(text) != std::string::npos; },
            timeout_ms);
    }
    // Whether init got SIGTERM within the time.
    bool init_terminated(int timeout_ms) {
        int status = wait_child(init_, timeout_ms);
        if (status == -1) return false;
        init_ = -1;
        return WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM;
    }

    TempRouterRoot root_;
    FedProgram ring_, server_;
    int ring_key_ = 0;
    pid_t agent_ = -1, init_ = -1;
};

TEST_F(Firmware, GoodImageIsFlashedByteForByteThenInitGetsSigterm) {
    std::vector<uint8_t> img = write_image(200000);
    start_agent();
    EXPECT_TRUE(server_.say("fault dup 3"));
    EXPECT_TRUE(server_.say("fault reorder 7"));
    EXPECT_TRUE(server_.say("firmware " + root_.host("/image.trx")));
    EXPECT_TRUE(init_terminated(120000)) << read_file(root_.host("/agent.err"));
    EXPECT_EQ(std::string(img.begin(), img.end()), read_file(root_.host("/flash/linux")));
    EXPECT_TRUE(printed("/server.out", "\"msg\":\"served\",\"count\":196"));
    EXPECT_TRUE(printed("/agent.err", "CRC OK"));
    EXPECT_TRUE(printed("/agent.err", "done\n"));
    EXPECT_NE(0, access(root_.host("/tmp/firmware.download").c_str(), F_OK));
}

TEST_F(Firmware, ShortAndOverlongRepliesAreDroppedAndAskedAgain) {
    std::vector<uint8_t> img = write_image(20000);
    start_agent();
    EXPECT_TRUE(server_.say("fault short 2"));
    EXPECT_TRUE(server_.say("fault overlong 4"));
    EXPECT_TRUE(server_.say("fault offset 6"));  // right length, wrong bytes: only the CRC can tell
    EXPECT_TRUE(server_.say("firmware " + root_.host("/image.trx")));
    ASSERT_TRUE(printed("/agent.err", "do_rcm_download_firmware fail"));
    std::string err = read_file(root_.host("/agent.err"));
    EXPECT_NE(std::string::npos, err.find("fragment 2 carries 1023 bytes, not 1024"));
    EXPECT_NE(std::string::npos, err.find("beyond the datagram"));
    EXPECT_NE(std::string::npos, err.find("Bad CRC\n"));
    EXPECT_TRUE(printed("/server.out", "\"repeats\":2")) << "2 and 4 asked again";
    EXPECT_EQ("old image", read_file(root_.host("/flash/linux")));

    // The same image served cleanly afterwards is flashed.
    EXPECT_TRUE(server_.say("firmware " + root_.host("/image.trx")));
    EXPECT_TRUE(init_terminated(60000)) << read_file(root_.host("/agent.err"));
    EXPECT_EQ(std::string(img.begin(), img.end()), read_file(root_.host("/flash/linux")));
}

TEST_F(Firmware, FailingMtdReturnsToTheSession) {
    script("mtd", "echo \"mtd $*\" >> \"$ROUTER_ROOT/mtd.log\"\nexit 1");
    write_image(5000);
    start_agent();
    EXPECT_TRUE(server_.say("firmware " + root_.host("/image.trx")));
    ASSERT_TRUE(printed("/mtd.log", "mtd upgrade_trx /tmp/firmware.download linux"));
    ASSERT_TRUE(printed("/agent.err", "firmware not flashed"));
    size_t before = read_file(root_.host("/server.out")).size();
    EXPECT_TRUE(wait_until(
        [&] {
            return read_file(root_.host("/server.out")).find("\"msg\":\"keepalive\"", before) !=
                   std::string::npos;
        },
        30000))
        << "keepalives resume";
    EXPECT_EQ("old image", read_file(root_.host("/flash/linux")));
    EXPECT_FALSE(init_terminated(0));
}

TEST_F(Firmware, LowMemoryGetsNoAcknowledgementAndNoDownload) {
    write_file(root_.host("/proc/meminfo"), "MemTotal: 14336 kB\nMemFree: 100 kB\n");
    write_image(200000);
    start_agent();
    EXPECT_TRUE(server_.say("firmware " + root_.host("/image.trx")));
    ASSERT_TRUE(printed("/agent.err", "low memory .. \n"));
    // Anything the agent sent for the command went out before its next keepalive.
    size_t before = read_file(root_.host("/server.out")).size();
    ASSERT_TRUE(wait_until(
        [&] {
            return read_file(root_.host("/server.out")).find("\"msg\":\"keepalive\"", before) !=
                   std::string::npos;
        },
        30000));
    std::string out = read_file(root_.host("/server.out"));
    EXPECT_EQ(std::string::npos, out.find("\"oid\":256")) << "no acknowledgement";
    EXPECT_EQ(std::string::npos, out.find("\"msg\":\"fragment\""));
    EXPECT_EQ(std::string::npos, out.find("\"msg\":\"progress\""));
    EXPECT_EQ("old image", read_file(root_.host("/flash/linux")));
}

}  // namespace
