// The router's GPIO lines as the platform library offers them: one request call. On the board
// gpioctl() is the GPIO driver's request on "/dev/gpio/ctl"; under a router root (a host, a
// test, the demo) it appends the line "OP LINE VALUE" to "/dev/gpio/ops" (created if missing),
// so a test reads back every request in order. Safe from any thread (one write per request).
#pragma once

// The driver's request record on the board.
struct gpio_request {
    int line;
    int value;
};

// Asks the driver for operation `op` on `line` with `value`. Returns 0, or -1 with errno set
// when the request could not be made.
[[nodiscard]] int gpioctl(int op, int line, int value);
