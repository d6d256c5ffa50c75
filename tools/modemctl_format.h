// modemctl's command names, its hex argument, and how answers are printed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "tools/modem_client.h"

// The number of a command given by number or name, or -1.
[[nodiscard]] int modemctl_command_number(const char *text);

// Parses pairs of hex digits (spaces and colons between bytes are allowed) into `out`.
// Returns the byte count, or -1 when the text is not hex or exceeds `cap`.
[[nodiscard]] int modemctl_parse_hex(const char *text, uint8_t *out, size_t cap);

// Prints result, len, the data in hex, and the data decoded for the commands known to carry
// a value (numbers are in the daemon's host order).
void modemctl_print_reply(FILE *out, int cmd, const ModemReply &reply);
