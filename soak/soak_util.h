// Shared by the soak programs: the verdict line, /proc readings and a readiness probe.
#pragma once

#include <sys/types.h>

#include <string>

// Prints "PASS <name> soak: <text>" or "FAIL ..." and returns the exit status for main.
int soak_verdict(bool pass, const std::string &name, const std::string &text);

// Resident memory of a process in KiB (VmRSS of /proc/PID/status), -1 when unknown.
long soak_rss_kib(pid_t pid);

// Waits up to `timeout_ms` until modemd answers a command on the queue with key `key`.
bool soak_queue_serving(int key, int timeout_ms);
