// diagctl's commands: each parses its arguments, then (unless the pass is dry) runs one device
// operation of the DIAG engine and prints the result. The dry pass runs before the port is
// opened, so every usage error shows without touching the card. Main thread only.
#pragma once

#include <cstdio>

#include "tools/diagctl_out.h"

struct DiagctlCtx {
    bool dry;  // parse only
    DiagctlOut *out;
};

// argv[0] is the command word. 0 done, 1 the operation failed or the card refused, 2 usage.
typedef int (*DiagctlRun)(DiagctlCtx &ctx, int argc, char **argv);

struct DiagctlCommand {
    const char *name;
    DiagctlRun run;
    bool needs_port;
};

const DiagctlCommand *diagctl_find(const char *name);
void diagctl_help(FILE *f);

// Prints "diagctl: WHY" on standard error; returns 2.
int diagctl_usage(const char *why, const char *what = "");

// Removes a trailing or inner "-n NAM" from argv. False when its value is not 0 or 1 (or is
// missing); *nam stays 0 when there is none.
bool diagctl_take_nam(int *argc, char **argv, int *nam, bool *given = nullptr);

int diagctl_show(DiagctlCtx &ctx, int argc, char **argv);
int diagctl_network(DiagctlCtx &ctx, int argc, char **argv);
int diagctl_mode(DiagctlCtx &ctx, int argc, char **argv);
int diagctl_nv(DiagctlCtx &ctx, int argc, char **argv);
int diagctl_nam(DiagctlCtx &ctx, int argc, char **argv);
int diagctl_item(DiagctlCtx &ctx, int argc, char **argv);
int diagctl_spc(DiagctlCtx &ctx, int argc, char **argv);
int diagctl_lock(DiagctlCtx &ctx, int argc, char **argv);
int diagctl_prl(DiagctlCtx &ctx, int argc, char **argv);
int diagctl_sms(DiagctlCtx &ctx, int argc, char **argv);
int diagctl_tl(DiagctlCtx &ctx, int argc, char **argv);
int diagctl_activation(DiagctlCtx &ctx, int argc, char **argv);
int diagctl_events(DiagctlCtx &ctx, int argc, char **argv);
int diagctl_log(DiagctlCtx &ctx, int argc, char **argv);
int diagctl_fieldtest(DiagctlCtx &ctx, int argc, char **argv);
