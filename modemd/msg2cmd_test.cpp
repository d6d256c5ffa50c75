#include "modemd/msg2cmd.h"
#include "modemd/msg2cmd_testing.h"

#include <gtest/gtest.h>

namespace {

int answer_one(uint8_t *, int, uint8_t *, int) {
    return 1;
}
int answer_two(uint8_t *, int, uint8_t *, int) {
    return 2;
}

TEST(Msg2Cmd, EmptyListFindsNothing) {
    msgcmd_link head;
    msg2cmd_init(&head);
    EXPECT_EQ(nullptr, find_msgcmd_handler(&head, 0));
    EXPECT_EQ(nullptr, find_msgcmd_handler(&head, 1));
}

TEST(Msg2Cmd, FirstRegistrationOfANumberWins) {
    msgcmd_link head;
    msg2cmd_init(&head);
    ASSERT_NE(nullptr, register_msgcmd_handler(&head, 7, answer_one));
    ASSERT_NE(nullptr, register_msgcmd_handler(&head, 9, answer_two));
    ASSERT_NE(nullptr, register_msgcmd_handler(&head, 7, answer_two));
    msgcmd_node *node = find_msgcmd_handler(&head, 7);
    ASSERT_NE(nullptr, node);
    EXPECT_EQ(1, node->handler(nullptr, 0, nullptr, 0));
    EXPECT_EQ(2, find_msgcmd_handler(&head, 9)->handler(nullptr, 0, nullptr, 0));
    EXPECT_EQ(nullptr, find_msgcmd_handler(&head, 8));
    msg2cmd_free_nodes(&head);
}

// A family registers a dozen handlers; every one must stay reachable whatever the order, and a
// list emptied by msg2cmd_init() must forget them all.
TEST(Msg2Cmd, EveryRegisteredNumberIsFoundUntilTheListIsEmptied) {
    msgcmd_link head;
    msg2cmd_init(&head);
    const uint32_t numbers[] = {210, 1, 200, 11, 2, 0xFFFFFFFFu, 7, 0};
    for (uint32_t cmd : numbers)
        ASSERT_NE(nullptr, register_msgcmd_handler(&head, cmd, cmd % 2 ? answer_one : answer_two));
    for (uint32_t cmd : numbers) {
        msgcmd_node *node = find_msgcmd_handler(&head, cmd);
        ASSERT_NE(nullptr, node) << cmd;
        EXPECT_EQ(cmd, node->cmd);
        EXPECT_EQ(cmd % 2 ? 1 : 2, node->handler(nullptr, 0, nullptr, 0)) << cmd;
    }
    EXPECT_EQ(nullptr, find_msgcmd_handler(&head, 3));
    msg2cmd_free_nodes(&head);
    EXPECT_EQ(nullptr, find_msgcmd_handler(&head, 210));
}

}  // namespace
