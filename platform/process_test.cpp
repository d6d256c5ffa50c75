#include "platform/process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "tests/support/testsupport.h"

namespace {

using testsupport::read_file;
using testsupport::TempRouterRoot;

char *arg(const char *s) {
    return const_cast<char *>(s);
}

TEST(Eval, WaitsAndReturnsTheWaitStatus) {
    char *ok[] = {arg("true"), nullptr};
    EXPECT_EQ(0, _eval(ok, nullptr, 0, nullptr));
    char *fails[] = {arg("sh"), arg("-c"), arg("exit 3"), nullptr};
    int status = _eval(fails, nullptr, 0, nullptr);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(3, WEXITSTATUS(status));
}

TEST(Eval, CommandThatCannotStartIsAStartFailure) {
    char *missing[] = {arg("no-such-command-here"), nullptr};
    EXPECT_EQ(-1, _eval(missing, nullptr, 0, nullptr));
    pid_t pid = 12345;
    EXPECT_EQ(-1, _eval(missing, nullptr, 0, &pid));
}

TEST(Eval, ConsoleRedirectionLandsUnderTheRouterRoot) {
    TempRouterRoot root;
    char *echo[] = {arg("sh"), arg("-c"), arg("echo out; echo err >&2"), nullptr};
    ASSERT_EQ(0, _eval(echo, ">/dev/console", 0, nullptr));
    ASSERT_EQ(0, _eval(echo, ">/dev/console", 0, nullptr));
    EXPECT_EQ("out\nerr\nout\nerr\n", read_file(root.host("/dev/console")));
}

TEST(Eval, WithPidOutParameterLeavesTheCommandRunning) {
    char *sleeper[] = {arg("sleep"), arg("30"), nullptr};
    pid_t pid = -1;
    ASSERT_EQ(0, _eval(sleeper, nullptr, 0, &pid));
    ASSERT_GT(pid, 1);
    EXPECT_EQ(0, waitpid(pid, nullptr, WNOHANG));  // still running
    kill(pid, SIGKILL);
    int status = 0;
    ASSERT_EQ(pid, waitpid(pid, &status, 0));
}

TEST(Eval, TimeoutEndsTheCommand) {
    char *sleeper[] = {arg("sleep"), arg("30"), nullptr};
    int status = _eval(sleeper, nullptr, 1, nullptr);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(SIGALRM, WTERMSIG(status));
}

TEST(SignalInit, UnderRouterRootGoesToThePidFileProcess) {
    TempRouterRoot root;
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        pause();
        _exit(0);
    }
    testsupport::write_file(root.host("/var/run/init.pid"), std::to_string(child) + "\n");
    EXPECT_EQ(0, signal_init(SIGTERM));
    int status = testsupport::wait_child(child, 10000);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(SIGTERM, WTERMSIG(status));
}

TEST(SignalInit, UnderRouterRootWithoutPidFileOnlySaysSo) {
    TempRouterRoot root;
    EXPECT_EQ(-1, signal_init(SIGTERM));
    EXPECT_NE(std::string::npos, read_file(root.host("/dev/console")).find("not sent"));
}

TEST(SignalInit, NeverSignalsProcessOneOrAGroup) {
    TempRouterRoot root;
    for (const char *text : {"1\n", "0", "-1", "garbage", ""}) {
        testsupport::write_file(root.host("/var/run/init.pid"), text);
        // SIGCONT: harmless even if it reached a process by mistake.
        EXPECT_EQ(-1, signal_init(SIGCONT)) << text;
    }
}

}  // namespace
