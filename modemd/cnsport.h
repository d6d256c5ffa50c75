// The card families modemd can drive, and the one selected with -t. Main thread.
#pragma once

#include "modemd/msg2cmd.h"

struct cnsport {
    const char *name;               // the value of -t
    int (*open)(const char *port);  // negative on failure
    msgcmd_link *handlers;          // the family's command handlers
};

inline constexpr int kCnsportFamilies = 4;
extern cnsport cnsport_table[kCnsportFamilies];

// The selected family; nullptr until -t selects one.
extern cnsport *cnsport_ctx;

// Selects the family named `name` exactly. Returns it, or the previous selection (nullptr at
// start) when no family has that name.
[[nodiscard]] cnsport *parse_cnsport(const char *name);

// Opens `port` with the selected family's open function and returns its result: the port's
// descriptor (0 for the Novatel family), or a negative value. -1 when no family is selected.
[[nodiscard]] int cnsport_open(const char *port);
