// rmagent as a whole program, run against the management server and the syslog ring writer
// of sim/ on loopback, with real time.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/nvram.h"
#include "platform/nvram_testing.h"
#include "tests/support/testsupport.h"

namespace {

using namespace testsupport;

class Rmagent : public ::testing::Test {
  protected:
    void SetUp() override {
        nvram_testing_forget();
        mkdir(root_.host("/bin").c_str(), 0755);
        write_file(root_.host("/bin/killall"), "#!/bin/sh\nexit 0\n");
        chmod(root_.host("/bin/killall").c_str(), 0755);
    }
    void TearDown() override {
        stop_child(agent_);
        nvram_testing_forget();
    }
    SpawnOptions agent_options(int server_port, int ring_key) const {
        SpawnOptions o;
        o.env = {"RMAGENT_PORT=0",
                 "RMAGENT_ADDR=127.0.0.1",
                 "RMAGENT_SERVER_PORT=" + std::to_string(server_port),
                 "RMAGENT_SYSLOG_KEY=" + std::to_string(ring_key),
                 "RMAGENT_DESKMGR_PORT=0",
                 "RMAGENT_DISCOVERY_PORT=0"};
        o.path_prefix = root_.host("/bin");
        o.stderr_path = root_.host("/agent.err");
        return o;
    }
    bool server_printed(const std::string &text, int timeout_ms = 30000) const {
        return wait_until(
            [&] { return read_file(root_.host("/server.out")).find(text) != std::string::npos; },
            timeout_ms);
    }

    TempRouterRoot root_;
    pid_t agent_ = -1;
};

TEST_F(Rmagent, StartUpProblemsEndWithStatusOneAndTheirConsoleLine) {
    struct Case {
        std::vector<std::string> args;
        std::string console;
    } cases[] = {
        {{"-m", "d"}, "miss rcm server ... \n"},    {{"-s", "127.0.0.1"}, "miss rcm domain ... \n"},
        {{"-x", "-s", "127.0.0.1", "-m", "d"}, ""}, {{"-s", "127.0.0.1", "-m", "d", "extra"}, ""},
        {{"-s", "0.0.0.0", "-m", "d"}, ""},
    };
    for (const Case &c : cases) {
        unlink(root_.host("/dev/console").c_str());
        RunResult r = run_program("rmagent", c.args, {}, 60000);
        EXPECT_EQ(1, r.exit_code()) << c.args[0] << " " << c.args[1];
        EXPECT_EQ(c.console, read_file(root_.host("/dev/console"))) << c.args[0];
    }
}

TEST_F(Rmagent, FullSessionAgainstTheManagementServer) {
    ASSERT_EQ(0, nvram_set("wan0_ipaddr", "10.1.2.3"));
    ASSERT_EQ(0, nvram_set("wl0_ssid", "before"));
    ASSERT_EQ(0, nvram_set("SN", "E2E000000001"));
    int key = unused_ipc_key();
    FedProgram ring, server;
    ASSERT_TRUE(ring.start("syslogring", {"-k", std::to_string(key), "-s", "4096"},
                           root_.host("/ring.out")));
    ASSERT_TRUE(
        wait_until([&] { return read_file(root_.host("/ring.out")).find("ready") == 0; }, 30000));
    ASSERT_TRUE(server.start("rcmserver", {"-j", "-p", "0", "-o", root_.host("/port")},
                             root_.host("/server.out")));
    ASSERT_TRUE(wait_until([&] { return !read_file(root_.host("/port")).empty(); }, 30000));
    int port = std::stoi(read_file(root_.host("/port")));
    pid_t init = fork();
    if (init == 0) {
        pause();
        _exit(0);
    }
    write_file(root_.host("/var/run/init.pid"), std::to_string(init));
    agent_ = spawn_program("rmagent", {"-d", "-s", "127.0.0.1", "-m", "e2e.example"},
                           agent_options(port, key));

    EXPECT_TRUE(server_printed("\"msg\":\"register\"")) << read_file(root_.host("/agent.err"));
    EXPECT_TRUE(server_printed("\"wan\":\"10.1.2.3\",\"domain\":\"e2e.example\""));
    EXPECT_TRUE(server_printed("\"serial\":\"E2E000000001\""));
    EXPECT_TRUE(server_printed("\"wl_ssid\":\"before\""));
    EXPECT_TRUE(server_printed("\"wl0_sta_maxunit\":\"0\""));

    EXPECT_TRUE(ring.say("log dhcpd: lease granted"));
    EXPECT_TRUE(server_printed("\"lines\":[\"dhcpd: lease granted\"]"));

    EXPECT_TRUE(server.say("config 1 0 wl_ssid=after%20push"));
    EXPECT_TRUE(
        wait_until([] { return std::string(nvram_safe_get("wl0_ssid")) == "after push"; }, 30000));
    EXPECT_TRUE(server_printed("\"msg\":\"ack\",\"seq\":1000"));

    EXPECT_TRUE(server.say("restore"));
    int status = wait_child(init, 30000);
    if (status == -1) {
        kill(init, SIGKILL);
        waitpid(init, nullptr, 0);
    }
    EXPECT_TRUE(status != -1 && WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    EXPECT_NE(std::string::npos,
              read_file(root_.host("/flash/nvram")).find(std::string("restore_defaults=1\0", 19)));
}

}  // namespace
