// Where ssltest connects: the defaults and what SSLTEST_ADDR and SSLTEST_PORT may say.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/ssltest_run.h"

namespace {

struct Target {
    bool ok;
    uint32_t addr = 0;
    uint16_t port = 0;
    std::string err;
};

Target target(const char *addr, const char *port) {
    char *buf = nullptr;
    size_t size = 0;
    FILE *err = open_memstream(&buf, &size);
    Target t{false, 0, 0, {}};
    t.ok = ssltest_target(addr, port, &t.addr, &t.port, err);
    fclose(err);
    t.err.assign(buf, size);
    free(buf);
    return t;
}

TEST(SsltestTarget, DefaultsAreLoopbackPort443) {
    for (const char *empty : {static_cast<const char *>(nullptr), ""}) {
        Target t = target(empty, empty);
        ASSERT_TRUE(t.ok);
        EXPECT_EQ(htonl(INADDR_LOOPBACK), t.addr);
        EXPECT_EQ(443, t.port);
    }
}

TEST(SsltestTarget, EnvironmentReplacesAddressAndPort) {
    Target t = target("10.1.2.3", "4433");
    ASSERT_TRUE(t.ok);
    EXPECT_EQ(htonl(0x0A010203), t.addr);
    EXPECT_EQ(4433, t.port);
    EXPECT_EQ("", t.err);
}

TEST(SsltestTarget, BadValuesAreRefusedWithTheReason) {
    const char *bad[][2] = {{"localhost", "1"},
                            {"1.2.3", "1"},
                            {"127.0.0.1", "0"},
                            {"127.0.0.1", "65536"},
                            {"127.0.0.1", "44x"},
                            {"127.0.0.1", "-5"},
                            {"127.0.0.1", "99999999999999999999"}};
    for (auto &b : bad) {
        Target t = target(b[0], b[1]);
        EXPECT_FALSE(t.ok) << b[0] << " " << b[1];
        EXPECT_NE(std::string::npos, t.err.find("SSLTEST_")) << t.err;
    }
}

}  // namespace
