#include "platform/router_root.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <string>

#include "tests/support/testsupport.h"

namespace {

TEST(RouterRoot, UnsetOrEmptyRootKeepsSystemPaths) {
    unsetenv("ROUTER_ROOT");
    EXPECT_STREQ("/dev/console", RouterPath("/dev/console").c_str());
    setenv("ROUTER_ROOT", "", 1);
    EXPECT_STREQ("/tmp/cnscmd", RouterPath("/tmp/cnscmd").c_str());
    unsetenv("ROUTER_ROOT");
}

TEST(RouterRoot, PathsGoUnderTheRoot) {
    setenv("ROUTER_ROOT", "/srv/r1/", 1);
    EXPECT_STREQ("/srv/r1/dev/console", RouterPath("/dev/console").c_str());
    EXPECT_STREQ("/srv/r1/proc/net/dev", RouterPath("/proc/net/dev").c_str());
    unsetenv("ROUTER_ROOT");
}

TEST(RouterRoot, PathTooLongIsRefused) {
    std::string deep(2000, 'd');
    setenv("ROUTER_ROOT", ("/" + deep).c_str(), 1);
    RouterPath p("/dev/console");
    EXPECT_FALSE(p.ok());
    EXPECT_STREQ("", p.c_str());
    char small[8];
    unsetenv("ROUTER_ROOT");
    EXPECT_FALSE(router_path("/dev/console", small, sizeof small));
}

TEST(RouterRoot, MkdirsCreatesParentsUnderTheRoot) {
    testsupport::TempRouterRoot root;
    ASSERT_EQ(0, router_mkdirs("/var/lib/a/b"));
    ASSERT_EQ(0, router_mkdirs("/var/lib/a/b"));  // again: fine
    struct stat st;
    EXPECT_EQ(0, stat(root.host("/var/lib/a/b").c_str(), &st));
    EXPECT_TRUE(S_ISDIR(st.st_mode));
}

}  // namespace
