// Test hooks of the event loop: a fake clock, and a reset between test cases.
#pragma once

// Replaces the monotonic millisecond clock (nullptr restores the real one).
void eventloop_set_clock(unsigned long (*now_ms)(void));

// Forgets every registration and timer.
void eventloop_reset(void);
