// Small utilities of the platform library: hex dump, check values, string split, memory
// figures. Reentrant; safe from any thread.
#pragma once

#include <cstddef>
#include <cstdint>

// Prints `label`, the length, then the bytes in hex, 16 to a line, on standard output.
void dump_buf(const char *label, const void *buf, size_t len);

// The running FCS-16 of RFC 1662 over `len` bytes, from `init` (0xFFFF for a frame). Not
// complemented: a frame's check value is ~crc16(data, len, 0xFFFF).
uint16_t crc16(const uint8_t *data, size_t len, uint16_t init);

// The running CRC-32 of firmware images, chained through `crc` (no complement either way).
uint32_t crc32(const uint8_t *data, size_t len, uint32_t crc);

// Splits `text` in place at every `sep`; empty fields are kept. Stores at most `max_fields`
// field pointers and returns the number of fields found (which may be larger).
int split(char *text, char sep, char *fields[], int max_fields);

// Memory figures from "/proc/meminfo" in kilobytes, in this order (the layout of the classic
// "Mem:" row): total, used, free, shared, buffers, cached. 0, or -1 when unreadable.
inline constexpr int kMemoryInfoWords = 6;
int memory_info(uint32_t words[kMemoryInfoWords]);
