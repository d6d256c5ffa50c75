#include "platform/eventloop.h"

#include <poll.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>

#include "platform/env.h"
#include "platform/eventloop_testing.h"

namespace {

constexpr int kMaxFds = 64;
constexpr short kReadable = POLLIN | POLLPRI | POLLHUP | POLLERR;

struct Slot {
    fd_desc desc;
    uint32_t gen;  // bumped on every (un)registration: stale poll results are skipped
    bool used;
};

Slot g_slots[kMaxFds];
pollfd g_pfds[kMaxFds];
int g_pfd_slot[kMaxFds];
uint32_t g_pfd_gen[kMaxFds];
int g_npfds;
bool g_pfds_stale = true;
bool g_break;

event_timer g_timers = {&g_timers, &g_timers, 0, 0, nullptr, nullptr};

// Millisecond times wrap on a 32-bit board after 49 days: compare by signed difference.
long ms_until(unsigned long when, unsigned long now) {
    return env_ms_until(when, now);
}

int find_slot(int fd) {
    for (int i = 0; i < kMaxFds; ++i)
        if (g_slots[i].used && g_slots[i].desc.fd == fd) return i;
    return -1;
}

void unlink_timer(event_timer *t) {
    t->prev->next = t->next;
    t->next->prev = t->prev;
    t->next = t->prev = nullptr;
}

void insert_before(event_timer *t, event_timer *at) {
    t->next = at;
    t->prev = at->prev;
    at->prev->next = t;
    at->prev = t;
}

void rebuild_pollfds() {
    g_npfds = 0;
    for (int i = 0; i < kMaxFds; ++i) {
        if (!g_slots[i].used) continue;
        g_pfds[g_npfds] = {g_slots[i].desc.fd, POLLIN | POLLPRI, 0};
        g_pfd_slot[g_npfds] = i;
        g_pfd_gen[g_npfds] = g_slots[i].gen;
        ++g_npfds;
    }
    g_pfds_stale = false;
}

// Runs every timer due now. Timers armed by these callbacks wait for a later round, so a
// callback that re-arms itself with delay 0 cannot starve the descriptors.
int run_due_timers() {
    if (g_timers.next == &g_timers) return 0;
    unsigned long now = env_now_ms();
    event_timer due = {&due, &due, 0, 0, nullptr, nullptr};
    while (g_timers.next != &g_timers && ms_until(g_timers.next->expires, now) <= 0) {
        event_timer *t = g_timers.next;
        unlink_timer(t);
        insert_before(t, &due);
    }
    int ran = 0;
    while (due.next != &due) {
        event_timer *t = due.next;
        unlink_timer(t);
        if (t->func) t->func(t->ctx);
        ++ran;
    }
    return ran;
}

int poll_timeout(int max_wait_ms) {
    if (g_timers.next == &g_timers) return max_wait_ms;
    long wait = ms_until(g_timers.next->expires, env_now_ms());
    if (wait < 0) wait = 0;
    if (wait > INT_MAX) wait = INT_MAX;
    if (max_wait_ms >= 0 && wait > max_wait_ms) wait = max_wait_ms;
    return static_cast<int>(wait);
}

}  // namespace

int register_fd_desc(int fd, fd_handler_t handler, void *ctx) {
    if (fd < 0 || !handler) return -1;
    int slot = find_slot(fd);
    if (slot < 0) {
        for (int i = 0; i < kMaxFds && slot < 0; ++i)
            if (!g_slots[i].used) slot = i;
        if (slot < 0) return -1;
    }
    Slot &s = g_slots[slot];
    s.desc = {fd, handler, ctx};
    s.used = true;
    ++s.gen;
    g_pfds_stale = true;
    return 0;
}

int unregister_fd_desc(int fd) {
    int slot = find_slot(fd);
    if (slot < 0) return -1;
    g_slots[slot].used = false;
    ++g_slots[slot].gen;
    g_pfds_stale = true;
    return 0;
}

void add_event(event_timer *timer) {
    if (timer->next) unlink_timer(timer);
    timer->expires = env_now_ms() + timer->delay * 1000ul;
    // Keep the list ordered by due time; equal times stay in arming order.
    event_timer *at = g_timers.next;
    while (at != &g_timers && ms_until(at->expires, timer->expires) <= 0)
        at = at->next;
    insert_before(timer, at);
}

void del_event(event_timer *timer) {
    if (timer->next) unlink_timer(timer);
}

int eventloop_step(int max_wait_ms) {
    int ran = run_due_timers();
    if (g_break) return ran;
    if (g_pfds_stale) rebuild_pollfds();
    int n = poll(g_pfds, static_cast<nfds_t>(g_npfds), poll_timeout(max_wait_ms));
    if (n <= 0) return ran;  // time-out, or a signal: timers are looked at next round
    for (int i = 0; i < g_npfds; ++i) {
        short ev = g_pfds[i].revents;
        if (!ev) continue;
        Slot &s = g_slots[g_pfd_slot[i]];
        if (!s.used || s.gen != g_pfd_gen[i]) continue;  // unregistered during this round
        if (ev & POLLNVAL) {
            // Closed without being unregistered: it would be reported again every round.
            fprintf(stderr, "eventloop: descriptor %d closed while registered, dropped\n",
                    s.desc.fd);
            (void)unregister_fd_desc(s.desc.fd);  // the slot is in use: cannot fail
            continue;
        }
        if (ev & kReadable) {
            s.desc.handler(&s.desc);
            ++ran;
        }
    }
    return ran;
}

void do_fd(void) {
    g_break = false;
    while (!g_break)
        eventloop_step(-1);
}

void eventloop_break(void) {
    g_break = true;
}

void eventloop_reset(void) {
    for (Slot &s : g_slots) {
        s.used = false;
        ++s.gen;
    }
    while (g_timers.next != &g_timers)
        unlink_timer(g_timers.next);
    g_pfds_stale = true;
    g_break = false;
}
