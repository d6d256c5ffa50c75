// The hand-over between the reader side (diag_dispatch_frame) and a waiting requester,
// driven in-process without a port.
#include "modemd/diag/diag_transaction.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

#include "modemd/diag/diag_crc.h"
#include "modemd/diag/diag_dispatch.h"
#include "modemd/diag/diag_engine.h"
#include "modemd/diag/diag_status.h"
#include "platform/env_fake.h"

namespace {

using Bytes = std::vector<uint8_t>;

void arrive(const Bytes &packet) {
    diag_dispatch_frame(packet.data(), packet.size());
}

class Transaction : public ::testing::Test {
  protected:
    void SetUp() override { diag_begin_request(); }
    void TearDown() override {
        diag_end_request();
        diag_set_log_capture(false);
    }
    // Waits for `command` and keeps the copy.
    int wait(uint8_t command, int timeout = 1, uint16_t log_code = 0) {
        uint8_t *data = nullptr;
        uint32_t len = 0;
        int status = diag_wait_response(command, &data, &len, log_code, timeout);
        got_ = data ? Bytes(data, data + len) : Bytes();
        free(data);
        return status;
    }
    Bytes got_;
};

TEST_F(Transaction, ResponseThatArrivedBeforeTheWaiterIsFound) {
    arrive({0x0C, 1, 2, 3});
    EXPECT_EQ(kDiagOk, wait(0x0C));
    EXPECT_EQ(Bytes({0x0C, 1, 2, 3}), got_);
}

TEST_F(Transaction, ResponseFromAnotherThreadWakesTheWaiter) {
    std::thread card([] {
        arrive({0x63, 9});  // answers something else first
        arrive({0x0C, 7});
    });
    EXPECT_EQ(kDiagOk, wait(0x0C, 10));
    card.join();
    EXPECT_EQ(Bytes({0x0C, 7}), got_);
}

TEST_F(Transaction, ErrorResponseEchoingTheCommandGivesItsStatus) {
    const struct {
        uint8_t code;
        int status;
    } kCases[] = {{0x13, 2}, {0x14, 3}, {0x15, 4}, {0x18, 32}, {0x42, 21}, {0x47, 5}};
    for (const auto &c : kCases) {
        diag_begin_request();
        arrive({c.code, 0x0C, 0x00});
        EXPECT_EQ(c.status, wait(0x0C)) << std::hex << int{c.code};
        EXPECT_TRUE(got_.empty());
    }
}

TEST_F(Transaction, ErrorResponseEchoingAnotherCommandGives11) {
    arrive({0x13, 0x63});
    EXPECT_EQ(kDiagMismatch, wait(0x0C));
}

TEST_F(Transaction, ErrorResponseTooShortToEchoGives11) {
    arrive({0x14});
    EXPECT_EQ(kDiagMismatch, wait(0x0C));
}

// The wait runs on the seam's clock: the fake one, moved by the test while the waiter waits.
TEST_F(Transaction, NothingArrivingTimesOutWith7AtTheDeadline) {
    FakeEnv env;
    unsigned long start = env.now_ms();
    std::thread clock([&] {
        if (env.wait_for_cond_waiter(60000)) env.advance(1000);
    });
    EXPECT_EQ(kDiagTimeout, wait(0x0C, 1));
    clock.join();
    EXPECT_EQ(start + 1000, env.now_ms());
}

TEST_F(Transaction, ResponseJustBeforeTheDeadlineIsTaken) {
    FakeEnv env;
    std::thread card([&] {
        if (!env.wait_for_cond_waiter(60000)) return;
        env.advance(999);
        arrive({0x0C, 5});
    });
    EXPECT_EQ(kDiagOk, wait(0x0C, 1));
    card.join();
    EXPECT_EQ(Bytes({0x0C, 5}), got_);
}

// Packets that decide nothing do not push the deadline back: one every 100 ms of the fake
// clock, each once the waiter has gone back to waiting, and the wait ends at its second.
TEST_F(Transaction, UnrelatedPacketsDoNotExtendTheWait) {
    FakeEnv env;
    unsigned long start = env.now_ms();
    std::atomic<bool> waiting{true};
    std::atomic<int> sent{0};
    std::thread chatter([&] {
        for (unsigned i = 1; i <= 300 && waiting; ++i) {
            for (int spin = 0; spin < 6000 && waiting && !env.wait_for_cond_waits(i, 10); ++spin) {
            }
            if (!waiting) break;
            arrive({0x63, static_cast<uint8_t>(i)});
            ++sent;
            env.advance(100);
        }
        while (waiting) {  // a wait that went on regardless: end it, the test has failed
            env.advance(3600000);
            (void)env.wait_for_cond_waits(1000000, 10);  // only paces the loop
        }
    });
    EXPECT_EQ(kDiagTimeout, wait(0x0C, 1));
    unsigned long ended = env.now_ms();
    waiting = false;
    chatter.join();
    // Ten packets take the clock to the deadline. A packet and the clock's step can wake the
    // waiter once or twice, so the chatter, pacing itself on the count of waits, can run up to
    // twice the waiter's progress ahead before the waiter sees the deadline (2 s seen on a
    // loaded host). A wait that each packet extended would instead have run past all 300
    // packets (30 s and more): the bound sits far from both.
    EXPECT_GE(sent.load(), 10);
    EXPECT_GE(env_ms_until(ended, start), 1000);
    EXPECT_LT(env_ms_until(ended, start), 10000);
}

TEST_F(Transaction, OutsideATransactionResponsesAreDropped) {
    diag_end_request();
    arrive({0x0C, 1});
    EXPECT_EQ(0, g_diag.packets.get_size());
}

TEST_F(Transaction, EmptyPacketIsNotStored) {
    uint8_t none = 0;
    diag_dispatch_frame(&none, 0);
    EXPECT_EQ(0, g_diag.packets.get_size());
}

TEST_F(Transaction, EventReportsAreNotTakenAsResponsesButTheirControlAnswerIs) {
    arrive({0x60, 0x04, 0x00, 0x2A, 0x81, 0x34, 0x12});  // one event
    EXPECT_EQ(0, g_diag.packets.get_size());
    arrive({0x60, 0x00, 0x00});  // the answer to event-report control
    EXPECT_EQ(kDiagOk, wait(0x60));
    EXPECT_EQ(Bytes({0x60, 0x00, 0x00}), got_);
}

TEST_F(Transaction, EventReportBodyGoesToTheInstalledParser) {
    static std::vector<Bytes> bodies;
    bodies.clear();
    diag_set_event_report_parser(
        [](const uint8_t *body, size_t len) { bodies.emplace_back(body, body + len); });
    arrive({0x60, 0x02, 0x00, 0x2A, 0x01});
    diag_set_event_report_parser(nullptr);
    ASSERT_EQ(1u, bodies.size());
    EXPECT_EQ(Bytes({0x02, 0x00, 0x2A, 0x01}), bodies[0]);
}

TEST_F(Transaction, LogPacketsAreStoredOnlyWhenCapturedAndOfTheCapturedCode) {
    Bytes log = {0x10, 0, 0x0C, 0, 0x0C, 0, 0x60, 0x11, 1, 2};
    arrive(log);
    EXPECT_EQ(0, g_diag.packets.get_size());
    diag_set_log_capture(true);
    arrive({0x10, 0, 0x0C, 0, 0x0C, 0, 0x61, 0x11, 1, 2});  // another log code
    EXPECT_EQ(0, g_diag.packets.get_size());
    arrive(log);
    EXPECT_EQ(kDiagOk, wait(0x10, 1, 0x1160));
    EXPECT_EQ(log, got_);
}

TEST(SendFrame, NoPortFailsAtOnceWith9) {
    ASSERT_LT(g_diag.port_fd, 0);
    uint8_t request[kDiagRequestBuffer] = {0x0C};
    EXPECT_EQ(kDiagWriteFailed, diag_send_frame(request, 1));
    DiagResponse response;
    EXPECT_EQ(kDiagWriteFailed, diag_transact(request, 1, 1, &response));
    EXPECT_EQ(0, g_bSendInProcess.load());  // the transaction was closed
}

TEST(SendFrame, WritesStuffedFrameWithCheckLowByteFirst) {
    int fds[2];
    ASSERT_EQ(0, pipe(fds));
    g_diag.port_fd = fds[1];
    uint8_t request[8] = {0x7E, 0x01};
    EXPECT_EQ(kDiagOk, diag_send_frame(request, 2));
    uint8_t wire[16];
    ssize_t n = read(fds[0], wire, sizeof wire);
    g_diag.port_fd = -1;
    close(fds[0]);
    close(fds[1]);
    // The check bytes were written into the caller's buffer after the request.
    uint16_t fcs = static_cast<uint16_t>(request[2] | request[3] << 8);
    const uint8_t sent[] = {0x7E, 0x01};
    EXPECT_EQ(crc_16_l_calc(sent, 16), fcs);
    Bytes expected = {0x7D, 0x5E, 0x01};
    for (uint8_t b : {static_cast<uint8_t>(fcs), static_cast<uint8_t>(fcs >> 8)}) {
        if (b == 0x7E || b == 0x7D) {
            expected.push_back(0x7D);
            expected.push_back(b ^ 0x20);
        } else {
            expected.push_back(b);
        }
    }
    expected.push_back(0x7E);
    EXPECT_EQ(expected, Bytes(wire, wire + (n > 0 ? n : 0)));
}

TEST(SendFrame, RequestBeyondTheFrameBufferIsRefused) {
    std::vector<uint8_t> request(kDiagMaxRequest + 1 + 2, 0x01);
    int fds[2];
    ASSERT_EQ(0, pipe(fds));
    g_diag.port_fd = fds[1];
    EXPECT_EQ(kDiagWriteFailed, diag_send_frame(request.data(), kDiagMaxRequest + 1));
    g_diag.port_fd = -1;
    close(fds[0]);
    close(fds[1]);
}

}  // namespace
