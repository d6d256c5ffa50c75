#include "common/split.h"

#include <gtest/gtest.h>

namespace {

TEST(Split, KeepsEmptyFieldsAndCountsBeyondTheLimit) {
    char text[] = "a,,b,c";
    char *fields[3];
    EXPECT_EQ(4, split(text, ',', fields, 3));
    EXPECT_STREQ("a", fields[0]);
    EXPECT_STREQ("", fields[1]);
    EXPECT_STREQ("b", fields[2]);
    char one[] = "";
    EXPECT_EQ(1, split(one, ',', fields, 3));
    EXPECT_STREQ("", fields[0]);
}

}  // namespace
