// Small utilities of the platform library: hex dump and memory figures. Reentrant; safe from
// any thread. The pure helpers that used to live here (crc16, crc32, split) are in common/;
// their headers are included so that code reaching them through this one still builds.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/crc32.h"
#include "common/fcs16.h"
#include "common/split.h"

// Prints `label`, the length, then the bytes in hex, 16 to a line, on standard output.
void dump_buf(const char *label, const void *buf, size_t len);

// Memory figures from "/proc/meminfo" in kilobytes, in this order (the layout of the classic
// "Mem:" row): total, used, free, shared, buffers, cached. 0, or -1 when unreadable.
inline constexpr int kMemoryInfoWords = 6;
[[nodiscard]] int memory_info(uint32_t words[kMemoryInfoWords]);
