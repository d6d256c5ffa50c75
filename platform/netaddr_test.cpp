#include "platform/netaddr.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <string>

namespace {

std::string dotted(const sockaddr_in &a) {
    char text[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, &a.sin_addr, text, sizeof text);
    return text;
}

TEST(Atoaddr, DottedAddressNeedsNoLookup) {
    sockaddr_in a;
    EXPECT_EQ(nullptr, atoaddr("10.1.2.3", 1162, &a));
    EXPECT_EQ(AF_INET, a.sin_family);
    EXPECT_EQ(htons(1162), a.sin_port);
    EXPECT_EQ("10.1.2.3", dotted(a));
}

TEST(Atoaddr, LocalNameResolves) {
    sockaddr_in a;
    EXPECT_EQ(nullptr, atoaddr("localhost", 0, &a));
    EXPECT_EQ("127.0.0.1", dotted(a));
    EXPECT_EQ(0, a.sin_port);
}

TEST(Atoaddr, EmptyNameIsAFinalFailureNotARetry) {
    sockaddr_in a;
    const char *msg = atoaddr("", 0, &a);
    ASSERT_NE(nullptr, msg);
    EXPECT_STRNE(kLookupRetry, msg);
}

}  // namespace
