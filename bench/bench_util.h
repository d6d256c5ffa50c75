// Timing helpers shared by the benchmark programs.
#pragma once

#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

inline uint64_t bench_now_ns() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<uint64_t>(ts.tv_sec) * 1000000000ull + static_cast<uint64_t>(ts.tv_nsec);
}

struct LatencySummary {
    double median_us;
    double p99_us;
};

inline LatencySummary summarize(std::vector<uint64_t> ns) {
    std::sort(ns.begin(), ns.end());
    if (ns.empty()) return {0, 0};
    return {ns[ns.size() / 2] / 1000.0, ns[std::min(ns.size() - 1, ns.size() * 99 / 100)] / 1000.0};
}

// One row of the table printed by `make bench`.
inline void bench_row(const char *what, const char *value, const char *goal) {
    printf("| %-52s | %-24s | %-14s |\n", what, value, goal);
}
