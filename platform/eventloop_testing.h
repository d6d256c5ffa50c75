// Test hook of the event loop: a reset between test cases. (Its clock is the seam's: tests
// install a fake one with platform/env_fake.h.)
#pragma once

// Forgets every registration and timer.
void eventloop_reset(void);
