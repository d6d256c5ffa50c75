// Round trips over System V queues, for the queue benchmarks: the raw reference (a ping-pong
// between two processes, the least a command round trip can cost here) and commands through
// a running modemd.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Round-trip times in nanoseconds of `count` 24-byte messages echoed by a child process.
std::vector<uint64_t> raw_pingpong(int count);

struct ModemdTiming {
    std::vector<uint64_t> ns;  // one round trip per command, after 100 warm-up commands
    int not_ok = 0;            // answers whose result was not 0
    bool started = false;
};

// Starts `modemd -t FAMILY -f PORT` under a fresh router root and times `count` commands `cmd`
// (4 data bytes) posted on its queue.
ModemdTiming time_modemd_command(const std::string &family, const std::string &port, uint16_t cmd,
                                 int count);
