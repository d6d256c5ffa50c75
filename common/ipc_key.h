// System V IPC keys given as text, as the programs take them from the environment to share one
// host (MODEMD_QUEUE_KEY, RMAGENT_SYSLOG_KEY). Pure computation, any thread.
#pragma once

// Parses a key: decimal digits, or 0x (or 0X) and hex digits, nothing else (no sign, no
// spaces), from 1 to 0x7FFFFFFF; decimal digits with a leading 0 are still decimal. Stores it
// in *key and returns true; false (and *key untouched) otherwise.
[[nodiscard]] bool ipc_key_parse(const char *text, int *key);

// The key in environment variable `var`: `fallback` when it is unset or empty, -1 when it is
// not a key as ipc_key_parse() takes it.
[[nodiscard]] int ipc_key_from_env(const char *var, int fallback);
