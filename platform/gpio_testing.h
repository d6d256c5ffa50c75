// Test hook of the GPIO node's stand-in: the next request 4 answers the first line of
// "/dev/gpio/bits.in" again, as in a fresh process.
#pragma once

void gpio_testing_reset_inputs(void);
