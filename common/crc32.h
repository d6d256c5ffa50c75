// CRC-32 (reflected polynomial 0xEDB88320) as the router's firmware images use it: a running
// value with no complement applied, so a caller chains blocks and chooses the start and finish.
// Pure computation, any thread.
#pragma once

#include <cstddef>
#include <cstdint>

uint32_t crc32_update(uint32_t crc, const uint8_t *data, size_t len);

// The same under the name the firmware tools use.
inline uint32_t crc32(const uint8_t *data, size_t len, uint32_t crc) {
    return crc32_update(crc, data, len);
}
