// The name/value table that a configuration request is parsed into: names and values point
// into the received datagram (no copies). One table per process; building a new one destroys
// the old. Main thread only.
#pragma once

#include <cstddef>

// With `text` nullptr, destroys the table. Otherwise builds it from the NUL-separated strings
// in text[0..length) (runs of NULs are skipped), each "name=value"; a string without "=" is
// ignored; a repeated name keeps its last value. text[length] must be writable: the last
// string is ended there. The "=" of each string is overwritten. 0, or -1 when memory is short.
[[nodiscard]] int init_cgi(char *text, size_t length);

// The value of `name`, or nullptr.
const char *get_cgi(const char *name);

// Replaces or inserts. 0, or -1 when the table is full or absent.
[[nodiscard]] int set_cgi(const char *name, const char *value);

// Names inserted since the table was built.
int count_cgi(void);

// Applies the table to config_variables, in table order: each named row with a setter is set
// for `unit`.
void do_upgrade_cgi(int unit);
