#include "platform/memory.h"

#include "platform/utils.h"

int check_memory_avalid(uint64_t bytes) {
    uint32_t words[kMemoryInfoWords];
    if (memory_info(words) < 0) return 0;
    return static_cast<uint64_t>(words[2]) * 1024u >= bytes ? 1 : 0;
}
