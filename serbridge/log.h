// The bridge's logging: the poe_* messages (syslog, and a copy to `log_to_fd`) and the trace
// `loginfo` (syslog at info, and the log file "/var/log/serbridge.log"). Main thread only.
#pragma once

#include <cstdio>

#include "serbridge/bridge.h"

extern int to_log, to_logfile;  // both 1: loginfo writes to syslog and to the log file
extern FILE *logfile;
extern int log_to_fd;  // where poe_* messages are copied; -1 after a short write
extern char line[1024];

// The log file lives in RAM on the board and line noise makes a trace line per read: past
// this size it is renamed "/var/log/serbridge.log.old" (replacing the one before) and a fresh
// file is started, so the trace never takes more than twice this.
inline constexpr long kLogFileLimit = 512 * 1024;

// Opens syslog (identity "serbridge", local2, emergency to info) and appends to the log file.
// Returns -1 when the log file cannot be opened.
[[nodiscard]] int log_open(void);

[[noreturn]] void poe_fatal(bridge_ctx *ctx, const char *fmt, ...);
void poe_error(bridge_ctx *ctx, const char *fmt, ...);
void poe_warn(bridge_ctx *ctx, const char *fmt, ...);
void poe_info(bridge_ctx *ctx, const char *fmt, ...);
void poe_dbglog(bridge_ctx *ctx, const char *fmt, ...);

// The trace, through the reduced formatter; cut at 1023 characters.
void loginfo(const char *fmt, ...);

// "Exit." to syslog, then ends the process with `status`.
[[noreturn]] void poe_die(int status);
