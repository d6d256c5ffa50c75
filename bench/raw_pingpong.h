// The reference every queue benchmark is measured against: a System V ping-pong between two
// processes, the least a command round trip can cost on this machine.
#pragma once

#include <cstdint>
#include <vector>

// Round-trip times in nanoseconds of `count` 24-byte messages echoed by a child process.
std::vector<uint64_t> raw_pingpong(int count);
