// The bounded list in which decoded response packets wait for the requesting thread. The
// reader thread adds (under the list mutex); the requester walks the list between lock() and
// unlock() and flushes it when a transaction opens and closes. The list owns every node and
// packet copy.
#pragma once

#include <pthread.h>

#include <cstddef>
#include <cstdint>

struct packet_node {
    uint8_t *data;  // private heap copy of one packet
    uint32_t length;
};

class PacketList {
  public:
    static constexpr uint16_t kCapacity = 128;

    PacketList();
    ~PacketList();
    PacketList(const PacketList &) = delete;
    PacketList &operator=(const PacketList &) = delete;

    // Empties the list (freeing what it held): done at each loader start.
    void init();
    [[nodiscard]] int lock();
    void unlock();
    // Stores a copy of data[0..length). Refused (nothing stored) when data is NULL, length is
    // 0, the list already holds kCapacity packets, or memory runs out.
    void add(const uint8_t *data, uint32_t length);
    // Walking the list, between lock() and unlock(): the node at the cursor, then the cursor
    // moves on; NULL once past the last stored node.
    [[nodiscard]] packet_node *get_current_packet();
    void reset_current_index();
    uint16_t get_size();
    // Frees every node and copy. Returns 0, or the error of taking the list mutex.
    [[nodiscard]] int flush_list();

  private:
    void free_all();  // with the mutex held

    packet_node *entries_[kCapacity];
    uint16_t size_;
    uint16_t cursor_;
    pthread_mutex_t mutex_;
};
