#include "platform/wireless.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "tests/support/testsupport.h"

namespace {

TEST(Wireless, EtherEtoaWritesUpperCaseColonSeparatedHex) {
    const uint8_t ea[6] = {0x00, 0x1a, 0x2b, 0xc3, 0xd4, 0xff};
    char buf[18];
    EXPECT_STREQ("00:1A:2B:C3:D4:FF", ether_etoa(ea, buf));
}

TEST(Wireless, NoRadioDriverUnderARouterRoot) {
    testsupport::TempRouterRoot root;
    char buf[64] = "authe_sta_list";
    errno = 0;
    EXPECT_EQ(-1, wl_ioctl("lo", kWlcGetVar, buf, sizeof buf));
    EXPECT_EQ(ENODEV, errno);
}

}  // namespace
