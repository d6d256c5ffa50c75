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
    EXPECT_EQ(&head, head.next);
    EXPECT_EQ(&head, head.prev);
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

TEST(Msg2Cmd, NodesAreLinkedInRegistrationOrder) {
    msgcmd_link head;
    msg2cmd_init(&head);
    msgcmd_node *a = register_msgcmd_handler(&head, 1, answer_one);
    msgcmd_node *b = register_msgcmd_handler(&head, 2, answer_one);
    EXPECT_EQ(a, head.next);
    EXPECT_EQ(b, a->next);
    EXPECT_EQ(&head, b->next);
    EXPECT_EQ(b, head.prev);
    EXPECT_EQ(a, b->prev);
    msg2cmd_free_nodes(&head);
}

}  // namespace
