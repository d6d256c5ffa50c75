#include "modemd/diag/packet_list.h"

#include <gtest/gtest.h>

namespace {

// Walks the list as the waiter does and returns the first bytes of the packets seen.
std::vector<uint8_t> walk(PacketList &list) {
    std::vector<uint8_t> firsts;
    EXPECT_EQ(0, list.lock());
    list.reset_current_index();
    while (packet_node *p = list.get_current_packet())
        firsts.push_back(p->data[0]);
    list.unlock();
    return firsts;
}

TEST(PacketList, The129thPacketIsDroppedUntilTheNextFlush) {
    PacketList list;
    for (int i = 0; i < 129; ++i) {
        uint8_t b = static_cast<uint8_t>(i);
        list.add(&b, 1);
    }
    EXPECT_EQ(128, list.get_size());
    std::vector<uint8_t> seen = walk(list);
    ASSERT_EQ(128u, seen.size());
    EXPECT_EQ(0, seen.front());
    EXPECT_EQ(127, seen.back());

    EXPECT_EQ(0, list.flush_list());
    EXPECT_EQ(0, list.get_size());
    for (int i = 0; i < 128; ++i) {
        uint8_t b = static_cast<uint8_t>(200 + i % 50);
        list.add(&b, 1);
    }
    EXPECT_EQ(128, list.get_size());
}

TEST(PacketList, RefusesNullAndEmptyPackets) {
    PacketList list;
    uint8_t b = 1;
    list.add(nullptr, 4);
    list.add(&b, 0);
    EXPECT_EQ(0, list.get_size());
    EXPECT_TRUE(walk(list).empty());
}

TEST(PacketList, KeepsItsOwnCopyInArrivalOrder) {
    PacketList list;
    uint8_t a[] = {0x0C, 1, 2};
    uint8_t b[] = {0x4B, 3};
    list.add(a, sizeof a);
    list.add(b, sizeof b);
    a[0] = 0xFF;  // the caller's buffer is free again
    ASSERT_EQ(0, list.lock());
    list.reset_current_index();
    packet_node *first = list.get_current_packet();
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(3u, first->length);
    EXPECT_EQ(0x0C, first->data[0]);
    packet_node *second = list.get_current_packet();
    ASSERT_NE(nullptr, second);
    EXPECT_EQ(std::vector<uint8_t>(b, b + 2), std::vector<uint8_t>(second->data, second->data + 2));
    EXPECT_EQ(nullptr, list.get_current_packet());
    list.unlock();
}

}  // namespace
