// The router's GPIO lines as the platform library offers them: one request call. On the board
// gpioctl() is the GPIO driver's request on "/dev/gpio/ctl"; under a router root (a host, a
// test, the demo) it appends the line "OP LINE VALUE" to "/dev/gpio/ops" (created if missing),
// so a test reads back every request in order. Safe from any thread (one write per request).
#pragma once

#include <cstdint>

// The driver's request record on the board.
struct gpio_request {
    int line;
    int value;
};

// Asks the driver for operation `op` on `line` with `value`. Returns 0, or -1 with errno set
// when the request could not be made.
[[nodiscard]] int gpioctl(int op, int line, int value);

// The LED and input bits of the factory tool: the GPIO driver's node "/dev/gpio/bits".
// Requests on an open node: 2 lights the LED of a bit number, 1 turns it off, 4 reads the
// input bits into a word. Under a router root the node is a plain file (never created here:
// absent, the open fails as with no GPIO driver); each request is appended to it as a line,
// "on B", "off B" or "in XXXXXXXX" (the word answered), and the Nth request 4 of the process
// answers the Nth line of hex words in "/dev/gpio/bits.in" (the last line repeats; absent or
// empty: the request fails with EIO).
inline constexpr unsigned long kGpioBitOff = 1;
inline constexpr unsigned long kGpioBitOn = 2;
inline constexpr unsigned long kGpioBitsIn = 4;

// A descriptor of the node opened for reading and writing, or -1.
[[nodiscard]] int gpio_bits_open(void);
// Request 1 or 2 for bit `bit`. 0, or -1 with errno set.
[[nodiscard]] int gpio_bits_set(int fd, unsigned long request, unsigned bit);
// Request 4. 0 with the word in `*bits`, or -1 with errno set (`*bits` untouched).
[[nodiscard]] int gpio_bits_read(int fd, uint32_t *bits);
void gpio_bits_close(int fd);
