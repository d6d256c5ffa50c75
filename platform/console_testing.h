// Test hooks of the console's rate limit: its clock, and forgetting what it counted.
#pragma once

#include <cstdint>

// The limiter's clock in milliseconds; nullptr restores the monotonic clock.
void console_testing_set_clock(uint64_t (*now_ms)(void));

// Forgets every kind of line and its counts.
void console_testing_forget(void);
