// Terminal set-up for the serial and modem lines: raw 8N1, the speeds table, DTR.
// Main thread.
#pragma once

#include <termios.h>

struct speed_row {
    int speed;     // bit/s; 0 ends the table
    speed_t code;  // the terminal interface's constant for it
};
extern const speed_row speeds[];

// The code for `speed`, or 0: for speed 0 silently, for a rate not in the table after
// logging "speed %d not supported".
speed_t translate_speed(int speed);

// Raw 8-bit line, receiver on, no flow control, ignoring modem-status lines when `local`, at
// `speed` (0 or an unlisted rate keep the line's speed). Ends the program when the attributes
// cannot be applied.
void set_up_tty(int fd, int local, int speed);

// Raises or drops DTR.
void setdtr(int fd, int on);
