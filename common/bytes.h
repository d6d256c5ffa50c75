// Byte-order helpers for every multi-byte field on a wire or in a shared buffer.
// Fields are assembled byte by byte (or copied with memcpy for host order), never read by
// casting a struct over a buffer: the MIPS board traps on an unaligned word load.
#pragma once

#include <cstdint>
#include <cstring>

inline uint16_t get_be16(const uint8_t *p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}
inline uint32_t get_be32(const uint8_t *p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}
inline uint16_t get_le16(const uint8_t *p) {
    return static_cast<uint16_t>(p[1] << 8 | p[0]);
}
inline uint32_t get_le32(const uint8_t *p) {
    return uint32_t{p[3]} << 24 | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
}

inline void put_be16(uint8_t *p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}
inline void put_be32(uint8_t *p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}
inline void put_le16(uint8_t *p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void put_le32(uint8_t *p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

// Host order (the processor's own), for fields the wire defines that way.
inline uint32_t get_host32(const uint8_t *p) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void put_host32(uint8_t *p, uint32_t v) {
    std::memcpy(p, &v, sizeof v);
}
inline uint16_t get_host16(const uint8_t *p) {
    uint16_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline void put_host16(uint8_t *p, uint16_t v) {
    std::memcpy(p, &v, sizeof v);
}
