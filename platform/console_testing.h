// Test hook of the console's rate limit: forgetting what it counted. Its clock is the seam's
// (platform/env.h): tests move it with FakeEnv.
#pragma once

#include <cstdint>

// Forgets every kind of line and its counts.
void console_testing_forget(void);
