#include "modemd/diag/packet_list.h"

#include <cstdlib>
#include <cstring>

PacketList::PacketList() : entries_{}, size_(0), cursor_(0) {
    pthread_mutex_init(&mutex_, nullptr);
}

PacketList::~PacketList() {
    free_all();
    pthread_mutex_destroy(&mutex_);
}

void PacketList::init() {
    (void)flush_list();
}

int PacketList::lock() {
    return pthread_mutex_lock(&mutex_);
}

void PacketList::unlock() {
    pthread_mutex_unlock(&mutex_);
}

void PacketList::add(const uint8_t *data, uint32_t length) {
    if (!data || length == 0) return;
    packet_node *node = static_cast<packet_node *>(malloc(sizeof(packet_node)));
    uint8_t *copy = static_cast<uint8_t *>(malloc(length));
    if (!node || !copy) {
        free(node);
        free(copy);
        return;
    }
    std::memcpy(copy, data, length);
    node->data = copy;
    node->length = length;
    if (pthread_mutex_lock(&mutex_) != 0) {
        free(copy);
        free(node);
        return;
    }
    bool stored = size_ < kCapacity;
    if (stored) entries_[size_++] = node;
    pthread_mutex_unlock(&mutex_);
    if (!stored) {
        free(copy);
        free(node);
    }
}

packet_node *PacketList::get_current_packet() {
    if (cursor_ >= size_) return nullptr;
    return entries_[cursor_++];
}

void PacketList::reset_current_index() {
    cursor_ = 0;
}

uint16_t PacketList::get_size() {
    return size_;
}

int PacketList::flush_list() {
    int err = pthread_mutex_lock(&mutex_);
    if (err != 0) return err;
    free_all();
    pthread_mutex_unlock(&mutex_);
    return 0;
}

void PacketList::free_all() {
    for (uint16_t i = 0; i < size_; ++i) {
        free(entries_[i]->data);
        free(entries_[i]);
        entries_[i] = nullptr;
    }
    size_ = 0;
    cursor_ = 0;
}
