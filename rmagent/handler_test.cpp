// Server requests as the socket handler takes them: configuration, commit, restore defaults,
// status, unknown codes, and every way a datagram is refused.
#include <arpa/inet.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "common/bytes.h"
#include "platform/nvram.h"
#include "rmagent/agent_fixture.h"
#include "rmagent/handler.h"

namespace {

std::vector<uint8_t> batch(uint16_t type, uint16_t unit, const std::vector<std::string> &entries) {
    std::vector<uint8_t> p = {static_cast<uint8_t>(type >> 8), static_cast<uint8_t>(type),
                              static_cast<uint8_t>(unit >> 8), static_cast<uint8_t>(unit)};
    for (const std::string &e : entries) {
        p.insert(p.end(), e.begin(), e.end());
        p.push_back(0);
    }
    return p;
}

class RequestTest : public AgentTest {
  protected:
    void SetUp() override {
        AgentTest::SetUp();
        open_session();
        server_.got.clear();
    }
    // Sends `bytes` from the server and lets the agent take them.
    void deliver(const std::vector<uint8_t> &bytes) {
        server_.send(bytes);
        step();
        server_.pump();
    }
    std::vector<Datagram> acks() const {
        std::vector<Datagram> out;
        for (const Datagram &d : server_.got)
            if (d.kind() == 1) out.push_back(d);
        return out;
    }
    // A child standing in for init; its pid goes where the reboot signal is sent.
    pid_t start_init() {
        pid_t pid = fork();
        if (pid == 0) {
            pause();
            _exit(0);
        }
        testsupport::write_file(root_.host("/var/run/init.pid"), std::to_string(pid) + "\n");
        return pid;
    }
    static int wait_signal(pid_t pid) {
        int status = testsupport::wait_child(pid, 10000);
        if (status == -1) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            return 0;
        }
        return WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    }
    std::string committed() { return testsupport::read_file(root_.host("/flash/nvram")); }
};

TEST_F(RequestTest, ConfigurationIsAppliedForTheUnitAndAcknowledgedWithItsOwnHeader) {
    std::vector<uint8_t> req =
        FakeServer::request(0x0101, 0, 4242, batch(1, 1, {"wl_ssid=abc", "hostname=r1"}));
    deliver(req);
    EXPECT_STREQ("abc", nvram_safe_get("wl1_ssid"));
    EXPECT_STREQ("r1", nvram_safe_get("hostname"));
    EXPECT_STREQ("", nvram_safe_get("wl0_ssid"));
    std::vector<Datagram> a = acks();
    ASSERT_EQ(1u, a.size());
    ASSERT_EQ(36u, a[0].bytes.size());
    std::vector<uint8_t> expected(req.begin(), req.begin() + 36);
    put_be16(expected.data() + 30, 1);
    put_be16(expected.data() + 32, 0x006B);
    put_be16(expected.data() + 34, 0);
    EXPECT_EQ(expected, a[0].bytes);
    std::string t = trace();
    EXPECT_NE(std::string::npos, t.find("get config .... \n"));
    EXPECT_NE(std::string::npos, t.find("payloadlen = 28 ,variable_type = 1\n"));
    EXPECT_NE(std::string::npos, t.find("cgi count = 2 \n"));
    EXPECT_NE(std::string::npos, t.find("hostname(1)=r1\n"));
    EXPECT_FALSE(testsupport::read_file(root_.host("/flash/nvram")).find("r1") !=
                 std::string::npos);  // nothing committed
}

TEST_F(RequestTest, RepeatedNameAppliesTheLastValueAndReadOnlyRowsStayUnwritten) {
    deliver(FakeServer::request(
        0x0101, 0, 1, batch(0, 0, {"hostname=a", "et0macaddr=66", "noequals", "hostname=b"})));
    EXPECT_STREQ("b", nvram_safe_get("hostname"));
    EXPECT_EQ(nullptr, nvram_get("et0macaddr"));
}

TEST_F(RequestTest, ConfigurationWhosePayloadlenPassesTheBytesReceivedIsDropped) {
    std::vector<uint8_t> req = FakeServer::request(0x0101, 0, 1, batch(0, 0, {"hostname=x"}));
    put_be16(req.data() + 34, 400);
    deliver(req);
    EXPECT_EQ(nullptr, nvram_get("hostname"));
    EXPECT_TRUE(acks().empty());
    EXPECT_NE(std::string::npos, trace().find("bad payloadlen 400"));
}

TEST_F(RequestTest, ConfigurationWithoutItsVariablePrefixIsDropped) {
    deliver(FakeServer::request(0x0101, 0, 1, {0, 0}));
    EXPECT_TRUE(acks().empty());
}

TEST_F(RequestTest, RequestFromAnotherAddressIsIgnored) {
    int other = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in from{};
    from.sin_family = AF_INET;
    inet_pton(AF_INET, "127.0.0.2", &from.sin_addr);
    ASSERT_EQ(0, bind(other, reinterpret_cast<sockaddr *>(&from), sizeof from));
    std::vector<uint8_t> req = FakeServer::request(0x0101, 0, 1, batch(0, 0, {"hostname=evil"}));
    sendto(other, req.data(), req.size(), 0, reinterpret_cast<const sockaddr *>(&server_.agent),
           sizeof server_.agent);
    step();
    uint8_t buf[64];
    EXPECT_LT(recv(other, buf, sizeof buf, MSG_DONTWAIT), 0);  // not acknowledged
    close(other);
    EXPECT_EQ(nullptr, nvram_get("hostname"));
    EXPECT_NE(std::string::npos, trace().find("drop packet from 127.0.0.2"));
}

TEST_F(RequestTest, MalformedDatagramsAreDroppedWithTheirTrace) {
    std::vector<uint8_t> req = FakeServer::request(0x0104, 0, 1);
    deliver(std::vector<uint8_t>(req.begin(), req.begin() + 35));
    EXPECT_NE(std::string::npos, trace().find("too short packet .. \n"));
    deliver(FakeServer::request(0x0104, 0, 1, {}, 0x006B));
    EXPECT_NE(std::string::npos, trace().find("We are only to accept request packet \n"));
    std::string before = trace();
    uint32_t seq = s_->seq;
    deliver(FakeServer::request(0x0104, 5, 1));
    EXPECT_EQ(before, trace());  // kind 5: not a word
    EXPECT_EQ(seq, s_->seq);
    EXPECT_TRUE(server_.got.empty());
}

TEST_F(RequestTest, RestoreDefaultsCommitsTheFlagThenSignalsTheRoutersInit) {
    pid_t init = start_init();
    deliver(FakeServer::request(0x0103, 0, 9));
    EXPECT_EQ(SIGTERM, wait_signal(init));
    EXPECT_NE(std::string::npos, committed().find(std::string("restore_defaults=1\0", 19)));
    ASSERT_EQ(1u, acks().size());
    EXPECT_EQ(0x0103, acks()[0].oid());
    EXPECT_EQ(1, reboots_);
}

TEST_F(RequestTest, CommitAndRebootCommitsTheWorkingStore) {
    deliver(FakeServer::request(0x0101, 0, 1, batch(0, 0, {"hostname=kept"})));
    pid_t init = start_init();
    deliver(FakeServer::request(0x0102, 2, 10));  // kind 2 is a request too
    EXPECT_EQ(SIGTERM, wait_signal(init));
    EXPECT_NE(std::string::npos, committed().find("hostname=kept"));
}

// With no init to signal nothing would ever end the agent: it says so and carries on serving
// rather than waiting for a reboot that cannot come.
TEST_F(RequestTest, RebootWithoutAnInitToSignalCarriesOn) {
    deliver(FakeServer::request(0x0102, 0, 12));
    EXPECT_EQ(0, reboots_);
    EXPECT_NE(std::string::npos, console().find("rmagent: init not signalled, no reboot\n"));
    deliver(FakeServer::request(0x0104, 0, 13));  // still serving
    EXPECT_EQ(2u, acks().size());
}

// A commit that fails (here "/flash" is a plain file) must not be followed by the reboot: the
// server's configuration would be lost with the working store.
TEST_F(RequestTest, RebootRequestsAfterAFailedCommitSayWhyAndDoNotReboot) {
    testsupport::write_file(root_.host("/flash"), "not a directory");
    pid_t init = start_init();
    deliver(FakeServer::request(0x0102, 0, 10));
    deliver(FakeServer::request(0x0103, 0, 11));
    EXPECT_EQ(0, reboots_);
    EXPECT_EQ(2u, acks().size());
    EXPECT_NE(std::string::npos,
              console().find("rmagent: commit and reboot: nvram commit failed (Not a directory), "
                             "not rebooting\n"));
    EXPECT_NE(std::string::npos,
              console().find("rmagent: restore defaults: nvram commit failed (Not a directory), "
                             "not rebooting\n"));
    kill(init, SIGKILL);
    EXPECT_EQ(SIGKILL, wait_signal(init));  // init got no SIGTERM before this one
}

TEST_F(RequestTest, SendStatusSendsTheStatusBatchesAfterTheAck) {
    deliver(FakeServer::request(0x0104, 0, 3));
    ASSERT_FALSE(server_.got.empty());
    EXPECT_EQ(1, server_.got[0].kind());
    EXPECT_EQ(4u, server_.with_oid(4).size());
    EXPECT_NE(std::string::npos, trace().find("\nSend status to server ... \n"));
}

TEST_F(RequestTest, UnknownRequestIsAcknowledgedAndPrinted) {
    deliver(FakeServer::request(0x0199, 0, 3));
    EXPECT_EQ(1u, acks().size());
    EXPECT_NE(std::string::npos, trace().find("unknown request with oid = 0199.... \n"));
}

TEST_F(RequestTest, SystemRebootAfterAFailedCommitDoesNothingTheSecondTime) {
    // "/flash" as a plain file: the commit cannot write the store.
    testsupport::write_file(root_.host("/flash"), "not a directory");
    unlink(root_.host("/killall.log").c_str());
    do_system_reboot();
    do_system_reboot();
    EXPECT_NE(std::string::npos, console().find("nvram_commit fail ,ret = "));
    EXPECT_EQ("killall -1 pppd\n", testsupport::read_file(root_.host("/killall.log")));
    EXPECT_EQ(0, reboots_);
}

}  // namespace
