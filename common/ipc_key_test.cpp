#include "common/ipc_key.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(IpcKey, TakesDecimalAndHexWithinThePositiveRange) {
    struct {
        const char *text;
        int key;
    } const kGood[] = {{"23232", 23232}, {"0x414E4547", 0x414E4547}, {"0X1f", 0x1F},
                       {"0123", 123},    {"2147483647", 0x7FFFFFFF}, {"0x7fffffff", 0x7FFFFFFF},
                       {"1", 1}};
    for (const auto &c : kGood) {
        int key = -5;
        EXPECT_TRUE(ipc_key_parse(c.text, &key)) << c.text;
        EXPECT_EQ(c.key, key) << c.text;
    }
}

TEST(IpcKey, RefusesEverythingElseAndLeavesTheKeyAlone) {
    for (const char *text : {"", "0", "0x0", "0x", "-5", "+5", " 5", "5 ", "12a", "0x12g",
                             "2147483648", "0x80000000", "99999999999999999999", "1e3", "0b1"}) {
        int key = 77;
        EXPECT_FALSE(ipc_key_parse(text, &key)) << text;
        EXPECT_EQ(77, key) << text;
    }
}

TEST(IpcKey, FromTheEnvironmentFallsBackWhenUnsetOrEmptyAndFailsWhenMalformed) {
    const char *var = "IPC_KEY_TEST_VARIABLE";
    unsetenv(var);
    EXPECT_EQ(4242, ipc_key_from_env(var, 4242));
    setenv(var, "", 1);
    EXPECT_EQ(4242, ipc_key_from_env(var, 4242));
    setenv(var, "0x10", 1);
    EXPECT_EQ(16, ipc_key_from_env(var, 4242));
    setenv(var, "ten", 1);
    EXPECT_EQ(-1, ipc_key_from_env(var, 4242));
    unsetenv(var);
}

}  // namespace
