// ssltest as a whole program: against `openssl s_server` on a private loopback port with a
// certificate made for the test, with nobody listening, and against a peer that is not TLS.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/testsupport.h"

namespace {

using namespace testsupport;

// A host command (not a program of this project), its output to files. Returns its pid.
pid_t spawn_host(const std::vector<std::string> &args, int stdin_fd, const std::string &out,
                 const std::string &err) {
    std::vector<char *> argv;
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(stdin_fd, 0);
        dup2(o, 1);
        dup2(e, 2);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

// Whether a socket listens on 127.0.0.1:`port` (read from /proc, so no connection is spent).
bool listening(int port) {
    std::ifstream in("/proc/net/tcp");
    std::string line;
    char want[32];
    snprintf(want, sizeof want, "0100007F:%04X", port);
    while (std::getline(in, line)) {
        std::istringstream f(line);
        std::string slot, local, remote, state;
        f >> slot >> local >> remote >> state;
        if (local == want && state == "0A") return true;
    }
    return false;
}

class Ssltest : public ::testing::Test {
  protected:
    void SetUp() override {
        cert_ = root_.host("/cert.pem");
        key_ = root_.host("/key.pem");
        std::string made = root_.host("/req.out");
        pid_t req =
            spawn_host({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key_,
                        "-out", cert_, "-days", "1", "-subj", "/O=Router Test/CN=router.test"},
                       devnull(), made, made);
        int status = wait_child(req, 120000);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << read_file(made);
    }
    void TearDown() override {
        stop_child(server_);
        if (feed_ >= 0) close(feed_);
    }
    int devnull() {
        static int fd = open("/dev/null", O_RDONLY);
        return fd;
    }
    // Starts s_server on a free port; its standard input (what it sends) begins with `say`,
    // and ends there when `end_input` (the server then closes each connection).
    void start_server(const std::string &say, bool end_input = false) {
        for (int attempt = 0; attempt < 5; ++attempt) {
            port_ = free_loopback_port(SOCK_STREAM);
            int p[2];
            ASSERT_EQ(0, pipe2(p, O_CLOEXEC));  // the server must not hold the writing end
            ASSERT_EQ(static_cast<ssize_t>(say.size()), write(p[1], say.data(), say.size()));
            server_out_ = root_.host("/server.out");
            server_err_ = root_.host("/server.err");
            server_ =
                spawn_host({"openssl", "s_server", "-accept", "127.0.0.1:" + std::to_string(port_),
                            "-cert", cert_, "-key", key_, "-ciphersuites", "TLS_AES_128_GCM_SHA256",
                            "-naccept", "1", "-brief"},
                           p[0], server_out_, server_err_);
            close(p[0]);
            feed_ = p[1];  // held open: the server's input does not end
            if (end_input) {
                close(feed_);
                feed_ = -1;
            }
            int ended = -1;  // the server's wait status once it has ended (port taken)
            // Either outcome is looked at below: listening, or ended (the port was taken).
            (void)wait_until(
                [&] {
                    if (listening(port_)) return true;
                    ended = wait_child(server_, 0);
                    return ended != -1;
                },
                60000);
            if (ended == -1 && listening(port_)) return;
            if (ended == -1) stop_child(server_);  // not reaped yet
            server_ = -1;
            if (feed_ >= 0) close(feed_);
            feed_ = -1;
        }
        FAIL() << "s_server did not start: " << read_file(server_err_);
    }
    RunResult ssltest(int port) {
        SpawnOptions o;
        o.env = {"SSLTEST_PORT=" + std::to_string(port)};
        return run_program("ssltest", {}, o, 120000);
    }

    TempRouterRoot root_;
    std::string cert_, key_, server_out_, server_err_;
    pid_t server_ = -1;
    int feed_ = -1;
    int port_ = -1;
};

TEST_F(Ssltest, PrintsCipherNamesAndTheAnswerAndTheServerGetsHello) {
    start_server(std::string("Hi\0there\n", 9));
    RunResult r = ssltest(port_);
    EXPECT_EQ(0, r.exit_code()) << r.err;
    EXPECT_EQ(
        "SSL connection using TLS_AES_128_GCM_SHA256\n"
        "Server certificate:\n"
        "\t subject: /O=Router Test/CN=router.test\n"
        "\t issuer: /O=Router Test/CN=router.test\n"
        "Got 9 chars:'Hi" +
            std::string(1, '\0') + "there\n'\n",
        r.out);
    int status = wait_child(server_, 60000);  // one connection, then it ends
    server_ = -1;
    EXPECT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ("Hello World!", read_file(server_out_));
}

// With its input at an end the server closes each connection at once: whether that meets the
// handshake, the write or the read, it is status 2 and a normal exit. (The close usually comes
// after the write, so this does not force the write onto a closed socket, where SIGPIPE would
// strike without the program ignoring it.)
TEST_F(Ssltest, ServerClosingMidExchangeIsStatus2) {
    start_server("", true);
    RunResult r = ssltest(port_);
    EXPECT_TRUE(WIFEXITED(r.status)) << r.status;
    EXPECT_EQ(2, r.exit_code()) << r.err;
    EXPECT_EQ(std::string::npos, r.out.find("Got ")) << r.out;
    EXPECT_NE("", r.err);
}

TEST_F(Ssltest, NobodyListeningIsStatus1) {
    int port = free_loopback_port(SOCK_STREAM);
    RunResult r = ssltest(port);
    EXPECT_EQ(1, r.exit_code());
    EXPECT_EQ("", r.out);
    EXPECT_EQ("connect: Connection refused\n", r.err);
}

TEST_F(Ssltest, PeerThatIsNotTlsIsStatus2) {
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ASSERT_EQ(0, bind(s, reinterpret_cast<sockaddr *>(&a), sizeof a));
    ASSERT_EQ(0, listen(s, 1));
    ASSERT_EQ(0, getsockname(s, reinterpret_cast<sockaddr *>(&a), &len));
    std::thread peer([s] {
        int c = accept(s, nullptr, nullptr);
        if (c < 0) return;
        const char junk[] = "HTTP/1.0 400 Bad Request\r\n\r\n";
        char buf[512];
        (void)!read(c, buf, sizeof buf);  // the client hello
        (void)!write(c, junk, sizeof junk - 1);
        close(c);
    });
    RunResult r = ssltest(ntohs(a.sin_port));
    peer.join();
    close(s);
    EXPECT_EQ(2, r.exit_code()) << r.err;
    EXPECT_EQ("", r.out);
    EXPECT_NE("", r.err);
}

}  // namespace
