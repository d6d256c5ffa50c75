// The log message formatter of the bridge and the card activation tool: a small printf with a
// few extra directives for visible strings, byte dumps and hardware addresses. Pure
// computation (reads errno and the clock installed below); safe from any thread once the clock
// is installed.
//
//   %[0][width|*][.precision|.*]letter
//   d o x X p      32-bit numbers (x and X both lowercase); p a pointer, with "0x"
//   c s m t        a character; a string (cut to the precision); strerror(errno); local time
//                  as "Mmm dd hh:mm:ss"
//                  (the above right-aligned in the width, with '0' or ' ' as fill)
//   v q            a string printed visibly: v as "M-^A" style, q with C escapes; no width
//   B              precision bytes from a pointer as hex pairs (' ' before each unless fill '0')
//   E              six bytes from a pointer as "aa:bb:cc:dd:ee:ff"
//   r              a format and a `va_list *` (pointer to the caller's argument list), nested
//   anything else  '%', then the character itself unless it is a second '%'
//
// The reduced variant knows only c d m o p q v s x, and takes a precision of 0 as none.
#pragma once

#include <cstdarg>
#include <ctime>

// The local time behind %t: fills `now` and returns true. A program installs its clock once,
// at start, before any thread; without one %t prints nothing.
typedef bool (*slprintf_clock_t)(struct tm *now);
void slprintf_set_clock(slprintf_clock_t clock);

// Stores at most size - 1 characters and a NUL (nothing when size is 0 or less) and returns
// the number of characters stored. The rest of the format is dropped once the buffer is full.
int vpoe_slprintf(char *buf, int size, const char *fmt, va_list args);
int poe_slprintf(char *buf, int size, const char *fmt, ...);

// The reduced formatter of the trace functions (`loginfo`).
int vpoe_slprintf_reduced(char *buf, int size, const char *fmt, va_list args);
int poe_slprintf_reduced(char *buf, int size, const char *fmt, ...);
