// rmagent's LAN services as a whole program, driven by lanctl on loopback with real time:
// find by address and by loopback broadcast, the WAN link, and a set that reboots.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
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

void executable(const std::string &path, const std::string &text) {
    write_file(path, text);
    chmod(path.c_str(), 0755);
}

class LanServices : public ::testing::Test {
  protected:
    void SetUp() override {
        nvram_testing_forget();
        std::string bin = root_.host("/bin");
        mkdir(bin.c_str(), 0755);
        mkdir(root_.host("/flash").c_str(), 0755);
        executable(bin + "/killall", "#!/bin/sh\nexit 0\n");
        executable(bin + "/nvram_mtd_read",
                   "#!/bin/sh\ncp \"$ROUTER_ROOT/flash/$2\" \"$ROUTER_ROOT$1\"\n");
        executable(bin + "/nvram_mtd_write",
                   "#!/bin/sh\ncp \"$ROUTER_ROOT$1\" \"$ROUTER_ROOT/flash/$2\"\n");
        std::string backup("FLSH\x3c\0\0\0", 8);
        backup += std::string(12, '\0') + std::string("vzw_reconnect_interval=30\0", 27);
        write_file(root_.host("/flash/backup"), backup + std::string(64, '\0'));
        std::string net = root_.host("/sys/class/net/br0");
        ASSERT_EQ(0, system(("mkdir -p " + net).c_str()));
        write_file(net + "/address", "00:90:4c:0a:0b:0c\n");
        write_file(net + "/ipv4", "192.168.1.1 192.168.1.255 255.255.255.0\n");
        ASSERT_EQ(0, nvram_set("lan0_ifname", "br0"));
        ASSERT_EQ(0, nvram_set("product_model", "CR-100"));
        ASSERT_EQ(0, nvram_set("vzw_reconnect_interval", "30"));
        disc_ = free_loopback_port(SOCK_DGRAM);
        desk_ = free_loopback_port(SOCK_STREAM);
    }
    void TearDown() override {
        stop_child(agent_);
        stop_child(server_);
        stop_child(ring_);
        if (server_in_[1] >= 0) close(server_in_[1]);
        if (ring_in_[1] >= 0) close(ring_in_[1]);
        nvram_testing_forget();
    }
    // Starts the syslog ring, the management server and the agent; returns once registered
    // (the LAN services are open before the session).
    void start_agent() {
        int key = unused_ipc_key();
        // Both peers read commands from pipes we keep open, so they stay up.
        ASSERT_EQ(0, pipe2(ring_in_, O_CLOEXEC));
        SpawnOptions ro;
        ro.stdin_fd = ring_in_[0];
        ro.stdout_path = root_.host("/ring.out");
        ring_ = spawn_program("syslogring", {"-k", std::to_string(key), "-s", "4096"}, ro);
        close(ring_in_[0]);
        ASSERT_TRUE(wait_until(
            [&] { return read_file(root_.host("/ring.out")).find("ready") == 0; }, 30000));
        ASSERT_EQ(0, pipe2(server_in_, O_CLOEXEC));
        SpawnOptions so;
        so.stdin_fd = server_in_[0];
        so.stdout_path = root_.host("/server.out");
        server_ = spawn_program("rcmserver", {"-j", "-p", "0", "-o", root_.host("/port")}, so);
        close(server_in_[0]);
        ASSERT_TRUE(wait_until([&] { return !read_file(root_.host("/port")).empty(); }, 30000));
        SpawnOptions o;
        o.env = {"RMAGENT_PORT=0",
                 "RMAGENT_ADDR=127.0.0.1",
                 "RMAGENT_SERVER_PORT=" + std::to_string(std::stoi(read_file(root_.host("/port")))),
                 "RMAGENT_SYSLOG_KEY=" + std::to_string(key),
                 "RMAGENT_DISCOVERY_PORT=" + std::to_string(disc_),
                 "RMAGENT_DESKMGR_PORT=" + std::to_string(desk_)};
        o.path_prefix = root_.host("/bin");
        o.stderr_path = root_.host("/agent.err");
        agent_ = spawn_program("rmagent", {"-s", "127.0.0.1", "-m", "lan.example"}, o);
        ASSERT_TRUE(wait_until(
            [&] {
                return read_file(root_.host("/server.out")).find("\"msg\":\"register\"") !=
                       std::string::npos;
            },
            60000));
    }
    RunResult lanctl(std::vector<std::string> args) {
        args.insert(args.begin(),
                    {"-p", std::to_string(disc_), "-P", std::to_string(desk_), "-t", "10"});
        return run_program("lanctl", args, {}, 60000);
    }

    TempRouterRoot root_;
    pid_t agent_ = -1, server_ = -1, ring_ = -1;
    int server_in_[2] = {-1, -1}, ring_in_[2] = {-1, -1};
    int disc_ = 0, desk_ = 0;
};

TEST_F(LanServices, FindDriveTheLinkAndSetTheIntervalThroughLanctl) {
    start_agent();
    const std::string line =
        "router 127.0.0.1: model \"CR-100\", MAC 00:90:4c:0a:0b:0c, LAN "
        "192.168.1.1 netmask 255.255.255.0, reconnect interval 30 s\n";
    RunResult r = lanctl({"find", "127.0.0.1"});
    EXPECT_EQ(0, r.exit_code()) << r.err;
    EXPECT_EQ(line, r.out);
    // By loopback broadcast: the discovery socket listens on every address.
    r = run_program("lanctl", {"-p", std::to_string(disc_), "-t", "3", "find", "127.255.255.255"},
                    {}, 60000);
    EXPECT_EQ(0, r.exit_code()) << r.err;
    EXPECT_EQ(line, r.out);

    r = lanctl({"wan", "127.0.0.1", "up"});
    EXPECT_EQ(0, r.exit_code()) << r.err << read_file(root_.host("/agent.err"))
                                << read_file(root_.host("/dev/console"));
    EXPECT_EQ("WAN link start requested\n", r.out);
    EXPECT_STREQ("start", nvram_safe_get("wan0_action"));
    ASSERT_EQ(0, nvram_set("wan0_enable", "0"));
    r = lanctl({"wan", "127.0.0.1", "down"});
    EXPECT_EQ(1, r.exit_code());
    EXPECT_STREQ("start", nvram_safe_get("wan0_action"));
    ASSERT_EQ(0, nvram_set("wan0_status", "down"));
    r = lanctl({"wan", "127.0.0.1", "state"});
    EXPECT_EQ(0, r.exit_code()) << r.err;
    EXPECT_EQ("WAN link down\n", r.out);

    r = lanctl({"set", "127.255.255.255", "interval=90"});
    EXPECT_EQ(4, r.exit_code()) << "a set never goes to a broadcast address";

    pid_t init = fork();
    if (init == 0) {
        pause();
        _exit(0);
    }
    write_file(root_.host("/var/run/init.pid"), std::to_string(init));
    r = lanctl({"set", "127.0.0.1", "interval=90"});
    EXPECT_EQ(0, r.exit_code()) << r.err;
    EXPECT_NE(std::string::npos, r.err.find("warning: the router reboots"));
    int status = wait_child(init, 30000);
    if (status == -1) {
        kill(init, SIGKILL);
        waitpid(init, nullptr, 0);
    }
    EXPECT_TRUE(status != -1 && WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    EXPECT_NE(std::string::npos, read_file(root_.host("/flash/backup"))
                                     .find(std::string("vzw_reconnect_interval=90\0", 26)));
    EXPECT_NE(
        std::string::npos,
        read_file(root_.host("/flash/nvram")).find(std::string("vzw_reconnect_interval=90\0", 26)));
}

TEST_F(LanServices, NoRouterMeansStatusTwo) {
    RunResult r = run_program(
        "lanctl", {"-p", std::to_string(disc_), "-t", "1", "find", "127.0.0.1"}, {}, 60000);
    EXPECT_EQ(2, r.exit_code());
    EXPECT_EQ("lanctl: no router answered\n", r.err);
    r = run_program("lanctl", {"-P", std::to_string(desk_), "-t", "2", "wan", "127.0.0.1", "state"},
                    {}, 60000);
    EXPECT_EQ(2, r.exit_code());
    r = run_program("lanctl", {"bogus"}, {}, 60000);
    EXPECT_EQ(4, r.exit_code());
}

}  // namespace
