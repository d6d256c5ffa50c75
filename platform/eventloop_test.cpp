#include "platform/eventloop.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/env_fake.h"
#include "platform/eventloop_testing.h"

namespace {

std::vector<std::string> g_fired;

void record(void *ctx) {
    g_fired.push_back(static_cast<const char *>(ctx));
}

struct Pipe {
    int r = -1, w = -1;
    Pipe() {
        int p[2];
        if (pipe(p) == 0) {
            r = p[0];
            w = p[1];
        }
    }
    ~Pipe() {
        if (r >= 0) close(r);
        if (w >= 0) close(w);
    }
    void make_readable() const { ASSERT_EQ(1, write(w, "x", 1)); }
};

class EventLoop : public ::testing::Test {
  protected:
    void SetUp() override {
        eventloop_reset();
        env_.emplace();
        g_fired.clear();
    }
    void TearDown() override {
        eventloop_reset();
        env_.reset();
    }
    void advance(unsigned long ms) { env_->advance(ms); }
    std::optional<FakeEnv> env_;
    static event_timer timer(unsigned long delay, const char *name) {
        return event_timer{nullptr, nullptr, delay, 0, const_cast<char *>(name), record};
    }
};

TEST_F(EventLoop, TimersFireOnceInDueOrderAndArmingOrderForTies) {
    event_timer t3 = timer(3, "t3"), t1 = timer(1, "t1"), t2 = timer(2, "t2"),
                t1b = timer(1, "t1b");
    add_event(&t3);
    add_event(&t1);
    add_event(&t2);
    add_event(&t1b);
    advance(999);
    eventloop_step(0);
    EXPECT_TRUE(g_fired.empty());
    advance(2001);
    eventloop_step(0);
    EXPECT_EQ((std::vector<std::string>{"t1", "t1b", "t2", "t3"}), g_fired);
    advance(10000);
    eventloop_step(0);
    EXPECT_EQ(4u, g_fired.size());
}

TEST_F(EventLoop, FirstLinkWordTellsWhetherArmed) {
    event_timer t = timer(1, "t");
    EXPECT_EQ(nullptr, t.next);
    add_event(&t);
    EXPECT_NE(nullptr, t.next);
    advance(1000);
    eventloop_step(0);
    EXPECT_EQ(nullptr, t.next);
}

TEST_F(EventLoop, DelEventCancelsAndIsHarmlessWhenUnarmed) {
    event_timer t = timer(1, "t");
    del_event(&t);  // never armed
    add_event(&t);
    del_event(&t);
    del_event(&t);
    EXPECT_EQ(nullptr, t.next);
    advance(5000);
    eventloop_step(0);
    EXPECT_TRUE(g_fired.empty());
}

event_timer g_rearming;
int g_rearm_count;
void rearm(void *) {
    ++g_rearm_count;
    if (g_rearm_count < 3) add_event(&g_rearming);
}

TEST_F(EventLoop, CallbackReArmsItsOwnTimer) {
    g_rearm_count = 0;
    g_rearming = {nullptr, nullptr, 2, 0, nullptr, rearm};
    add_event(&g_rearming);
    for (int round = 0; round < 5; ++round) {
        advance(2000);
        eventloop_step(0);
    }
    EXPECT_EQ(3, g_rearm_count);
    EXPECT_EQ(nullptr, g_rearming.next);
}

event_timer g_spinner;
int g_spins;
void spin(void *) {
    ++g_spins;
    add_event(&g_spinner);  // delay 0: due again at once
}

TEST_F(EventLoop, ZeroDelayReArmWaitsForTheNextRound) {
    g_spins = 0;
    g_spinner = {nullptr, nullptr, 0, 0, nullptr, spin};
    add_event(&g_spinner);
    eventloop_step(0);
    eventloop_step(0);
    EXPECT_EQ(2, g_spins);
    del_event(&g_spinner);
}

TEST_F(EventLoop, TimerReplacedWhileArmedFiresOnce) {
    event_timer t = timer(1, "t");
    add_event(&t);
    t.delay = 3;
    add_event(&t);
    advance(1000);
    eventloop_step(0);
    EXPECT_TRUE(g_fired.empty());
    advance(2000);
    eventloop_step(0);
    EXPECT_EQ(1u, g_fired.size());
}

struct Calls {
    int a = 0, b = 0;
    int other_fd = -1;
};

int unregister_other(fd_desc *d) {
    Calls *c = static_cast<Calls *>(d->ctx);
    ++c->a;
    EXPECT_EQ(0, unregister_fd_desc(c->other_fd));
    return 0;
}

int count_b(fd_desc *d) {
    ++static_cast<Calls *>(d->ctx)->b;
    return 0;
}

TEST_F(EventLoop, HandlerUnregisteringAnotherDescriptorStopsItsCallThisRound) {
    Pipe first, second;
    Calls calls;
    calls.other_fd = second.r;
    ASSERT_EQ(0, register_fd_desc(first.r, unregister_other, &calls));
    ASSERT_EQ(0, register_fd_desc(second.r, count_b, &calls));
    first.make_readable();
    second.make_readable();
    EXPECT_EQ(1, eventloop_step(0));
    EXPECT_EQ(1, calls.a);
    EXPECT_EQ(0, calls.b);
}

int unregister_self(fd_desc *d) {
    ++*static_cast<int *>(d->ctx);
    EXPECT_EQ(0, unregister_fd_desc(d->fd));
    return 0;
}

TEST_F(EventLoop, HandlerMayUnregisterItself) {
    Pipe p;
    int calls = 0;
    ASSERT_EQ(0, register_fd_desc(p.r, unregister_self, &calls));
    p.make_readable();
    eventloop_step(0);
    eventloop_step(0);  // still readable, but no longer watched
    EXPECT_EQ(1, calls);
    EXPECT_EQ(-1, unregister_fd_desc(p.r));
}

int record_fd(fd_desc *d) {
    *static_cast<int *>(d->ctx) = d->fd;
    return 0;
}

TEST_F(EventLoop, HandlerGetsItsRegistrationRecord) {
    Pipe p;
    int seen = -1;
    ASSERT_EQ(0, register_fd_desc(p.r, record_fd, &seen));
    p.make_readable();
    eventloop_step(0);
    EXPECT_EQ(p.r, seen);
}

TEST_F(EventLoop, DescriptorClosedWhileRegisteredIsDropped) {
    int p[2];
    ASSERT_EQ(0, pipe(p));
    int seen = -1;
    ASSERT_EQ(0, register_fd_desc(p[0], record_fd, &seen));
    close(p[0]);
    close(p[1]);
    eventloop_step(0);
    EXPECT_EQ(-1, unregister_fd_desc(p[0]));
}

TEST_F(EventLoop, RegistrationTableHasAFixedSize) {
    Pipe p;
    int dups[70];
    int registered = 0;
    for (int &fd : dups) {
        fd = dup(p.r);
        if (register_fd_desc(fd, record_fd, nullptr) == 0) ++registered;
    }
    EXPECT_EQ(64, registered);
    for (int fd : dups)
        close(fd);
}

TEST_F(EventLoop, LoopSleepsUntilTheNextTimerOnTheRealClock) {
    env_.reset();  // the real clock
    event_timer t = timer(1, "real");
    add_event(&t);
    for (int round = 0; round < 10 && g_fired.empty(); ++round)
        eventloop_step(3000);
    EXPECT_EQ(1u, g_fired.size());
}

void stop_loop(void *) {
    eventloop_break();
}

TEST_F(EventLoop, DoFdReturnsAfterBreak) {
    event_timer t = {nullptr, nullptr, 0, 0, nullptr, stop_loop};
    add_event(&t);
    do_fd();
    EXPECT_EQ(nullptr, t.next);
}

}  // namespace
