// Whether a large buffer (a firmware image) can be spared. Reentrant.
#pragma once

#include <cstdint>

// Non-zero when `bytes` fit in the free memory that "/proc/meminfo" reports (under the router
// root); 0 when they do not or the figures cannot be read.
[[nodiscard]] int check_memory_avalid(uint64_t bytes);
