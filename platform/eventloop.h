// The event loop every resident program is built around: descriptors with read handlers and
// one-shot timers in whole seconds. Main thread only: handlers and timer callbacks run one at
// a time, each to completion. An idle loop sleeps in one poll() until a descriptor is readable
// or the next timer is due. Time comes from the seam (platform/env.h), which also holds
// waitfor(), the blocking wait on one descriptor.
#pragma once

#include "platform/env.h"

struct fd_desc;
typedef int (*fd_handler_t)(struct fd_desc *desc);

// Registration record handed to the handler.
struct fd_desc {
    int fd;
    fd_handler_t handler;
    void *ctx;
};

typedef void (*event_func_t)(void *ctx);

// Timer record, owned by the program (usually a global). Set `delay`, `ctx` and `func`, then
// add_event(). `next` is non-null exactly while the timer is armed; the rest is the loop's.
struct event_timer {
    struct event_timer *next;
    struct event_timer *prev;
    unsigned long delay;    // whole seconds
    unsigned long expires;  // the loop's: due time on the monotonic clock, milliseconds
    void *ctx;
    event_func_t func;
};

// The handler is called with the registration record each time `fd` is readable (or reports
// hang-up or an error) until it is unregistered. Registering a descriptor again replaces its
// handler. Returns 0, or -1 when the table of 64 registrations is full.
[[nodiscard]] int register_fd_desc(int fd, fd_handler_t handler, void *ctx);

// No further calls for `fd`, even later in the current round. The caller closes it.
// Returns 0, or -1 when `fd` was not registered.
[[nodiscard]] int unregister_fd_desc(int fd);

// Runs the loop. Returns only after eventloop_break().
void do_fd(void);

// Arms the timer: `func(ctx)` runs once, `delay` seconds from now, on a monotonic clock (a
// change of the wall clock neither fires nor delays it). Timers due together run in the order
// they were armed. Arming an armed timer re-arms it.
void add_event(struct event_timer *timer);

// Disarms the timer; harmless when it is not armed.
void del_event(struct event_timer *timer);

// Makes do_fd() return after the current round (tests and orderly shutdown).
void eventloop_break(void);

// One round of the loop: runs the timers that are due, waits at most `max_wait_ms` (-1: until
// something happens) and runs the handlers of the readable descriptors. Returns the number of
// handlers and callbacks run.
int eventloop_step(int max_wait_ms);
