// Starting platform commands and signalling the router's init process. _eval and
// signal_init go through the seam (platform/env.h), so that tests can replace them.
// Call from the main thread; _eval forks, so it is also safe in a threaded daemon.
#pragma once

#include <sys/types.h>

#include "platform/env.h"

// Runs argv[0], found through PATH, with the arguments argv[1..] (nullptr-terminated).
//   redirect  ">/dev/console" (or any ">path"; resolved under the router root) appends the
//             command's standard output and error there; nullptr leaves them as they are.
//   timeout   0: no limit; above 0: the command is ended by SIGALRM after that many seconds.
//   ppid      nullptr: wait, and return the wait status (0 is success);
//             else: leave the command running, store its pid and return 0.
// Returns -1 when the command could not be started (fork failed, not found, not executable).
[[nodiscard]] int _eval(char *const argv[], const char *redirect, int timeout, pid_t *ppid);

// Sends `sig` to init (process 1): how the router reboots (SIGTERM). Under a router root it
// never touches the host's process 1: the signal goes to the pid written in
// $ROUTER_ROOT/var/run/init.pid when that file holds one above 1, otherwise a console line
// says it was not sent. Returns 0 when a signal was sent, -1 otherwise.
[[nodiscard]] int signal_init(int sig);

// The real operations behind the seam; programs call _eval, signal_init and env_spawn.
[[nodiscard]] int process_eval(char *const argv[], const char *redirect, int timeout, pid_t *ppid);
[[nodiscard]] int process_spawn(const char *path, char *const argv[], const int stdio[3],
                                pid_t *ppid);
[[nodiscard]] int process_signal_init(int sig);
