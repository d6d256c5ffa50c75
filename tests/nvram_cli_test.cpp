// The nvram command, as scripts, tests and people use it.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/testsupport.h"

namespace {

using namespace testsupport;

class NvramCommand : public ::testing::Test {
  protected:
    RunResult nvram(const std::vector<std::string> &args) { return run_program("nvram", args); }
    TempRouterRoot root_;
};

TEST_F(NvramCommand, SetGetUnset) {
    EXPECT_EQ(0, nvram({"set", "wan0_proto=dhcp"}).exit_code());
    RunResult got = nvram({"get", "wan0_proto"});
    EXPECT_EQ(0, got.exit_code());
    EXPECT_EQ("dhcp\n", got.out);
    EXPECT_EQ(0, nvram({"unset", "wan0_proto"}).exit_code());
    RunResult absent = nvram({"get", "wan0_proto"});
    EXPECT_NE(0, absent.exit_code());
    EXPECT_EQ("", absent.out);
    EXPECT_NE(std::string::npos, absent.err.find("wan0_proto is not set"));
}

TEST_F(NvramCommand, ValueMayHoldEqualsSignsAndBeEmpty) {
    EXPECT_EQ(0, nvram({"set", "a=b=c", "set", "empty="}).exit_code());
    EXPECT_EQ("b=c\n", nvram({"get", "a"}).out);
    RunResult empty = nvram({"get", "empty"});
    EXPECT_EQ(0, empty.exit_code());
    EXPECT_EQ("\n", empty.out);
}

TEST_F(NvramCommand, ShowListsPairsThenUsage) {
    nvram({"set", "x=1", "set", "y=22"});
    RunResult shown = nvram({"show"});
    EXPECT_EQ(0, shown.exit_code());
    EXPECT_EQ("x=1\ny=22\nsize: 9 bytes (65527 left)\n", shown.out);
}

TEST_F(NvramCommand, CommitWritesTheFlashCopy) {
    nvram({"set", "k=v"});
    EXPECT_EQ(0, nvram({"commit"}).exit_code());
    EXPECT_NE(std::string::npos,
              read_file(root_.host("/flash/nvram")).find(std::string("k=v\0", 4)));
}

TEST_F(NvramCommand, BadUseFailsWithAMessage) {
    for (const std::vector<std::string> &args : std::vector<std::vector<std::string>>{
             {}, {"get"}, {"set", "novalue"}, {"frobnicate", "x"}, {"set", "=v"}}) {
        RunResult r = nvram(args);
        EXPECT_EQ(1, r.exit_code());
        EXPECT_FALSE(r.err.empty());
    }
}

TEST_F(NvramCommand, FullStoreRefusesTheSet) {
    std::string big(40000, 'z');
    EXPECT_EQ(0, nvram({"set", "big1=" + big}).exit_code());
    RunResult r = nvram({"set", "big2=" + big});
    EXPECT_EQ(1, r.exit_code());
    EXPECT_NE(std::string::npos, r.err.find("big2"));
    EXPECT_NE(0, nvram({"get", "big2"}).exit_code());
}

}  // namespace
