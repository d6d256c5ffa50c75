// The console's rate limit, on a fake clock: lines of one kind pass ten a second, the rest are
// counted and reported once; kinds are counted apart; the plain calls are never limited.
#include "platform/console.h"

#include <errno.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/console_testing.h"
#include "platform/env_fake.h"
#include "tests/support/testsupport.h"

namespace {

class ConsoleLimit : public ::testing::Test {
  protected:
    void SetUp() override { console_testing_forget(); }
    void TearDown() override { console_testing_forget(); }
    std::string console() { return testsupport::read_file(root_.host("/dev/console")); }
    static size_t count(const std::string &text, const std::string &what) {
        size_t n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            ++n;
        return n;
    }
    static std::string held(unsigned n, const std::string &kind) {
        return std::string(program_invocation_short_name) + ": " + std::to_string(n) +
               " more lines like \"" + kind + "\" held back\n";
    }

    FakeEnv env_;
    testsupport::TempRouterRoot root_;
};

TEST_F(ConsoleLimit, TenLinesOfOneKindPassEachSecondAndTheRestAreReportedOnce) {
    for (int i = 0; i < 25; ++i)
        console_printf_limited("Unknown (%04x) OID received \n", i);
    EXPECT_EQ(10u, count(console(), "OID received"));
    EXPECT_EQ(0, console_printf_limited("Unknown (%04x) OID received \n", 0x99));
    env_.advance(999);  // still the same second
    console_printf_limited("Unknown (%04x) OID received \n", 0x99);
    EXPECT_EQ(10u, count(console(), "OID received"));

    env_.advance(1);
    EXPECT_LT(0, console_printf_limited("Unknown (%04x) OID received \n", 0xabcd));
    std::string text = console();
    EXPECT_NE(std::string::npos, text.find(held(17, "Unknown (%04x) OID received ") +
                                           "Unknown (abcd) OID received \n"));
    EXPECT_EQ(1u, count(text, "held back"));
    for (int i = 0; i < 9; ++i)  // the new second's other nine
        console_printf_limited("Unknown (%04x) OID received \n", i);
    EXPECT_EQ(20u, count(console(), "OID received \n"));
}

TEST_F(ConsoleLimit, KindsAreCountedApartAndThePlainCallsAreNeverLimited) {
    for (int i = 0; i < 30; ++i)
        console_printf_limited("card gone %d\n", i);
    for (int i = 0; i < 5; ++i)
        console_printf_limited("malformed %d\n", i);
    for (int i = 0; i < 30; ++i)
        console_printf("plain %d\n", i);
    std::string text = console();
    EXPECT_EQ(10u, count(text, "card gone"));
    EXPECT_EQ(5u, count(text, "malformed"));
    EXPECT_EQ(30u, count(text, "plain"));
}

TEST_F(ConsoleLimit, AKindPushedOutByNewerKindsStillReportsWhatItHeldBack) {
    for (int i = 0; i < 12; ++i)
        console_printf_limited("first kind %d\n", i);
    // Many other kinds, each its own format string, each later than the first.
    static char formats[40][24];
    for (int k = 0; k < 40; ++k) {
        env_.advance(1);
        snprintf(formats[k], sizeof formats[k], "kind %d\n", k);
        console_printf_limited(formats[k], 0);  // format not literal: fine for a test
    }
    EXPECT_EQ(1u, count(console(), held(2, "first kind %d")));
    EXPECT_EQ(40u, count(console(), "kind ") - count(console(), "first kind"));
}

TEST_F(ConsoleLimit, StreamVariantWritesTheSameLimitToItsStream) {
    std::string path = root_.host("/out");
    FILE *out = fopen(path.c_str(), "w");
    ASSERT_NE(nullptr, out);
    for (int i = 0; i < 12; ++i)
        console_fprintf_limited(out, "short frame of %d bytes: dropped\n", i);
    env_.advance(1000);
    console_fprintf_limited(out, "short frame of %d bytes: dropped\n", 99);
    fclose(out);
    std::string text = testsupport::read_file(path);
    EXPECT_EQ(11u, count(text, ": dropped\n"));
    EXPECT_NE(std::string::npos,
              text.find(held(2, "short frame of %d bytes: dropped") + "short frame of 99"));
    EXPECT_EQ(std::string::npos, console().find("dropped"));
}

}  // namespace
