// The message store operations and the asynchronous side (event reports, activation, log
// masks) against the simulated card.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "modemd/diag/card_engine_fixture.h"
#include "modemd/diag/diag_activation.h"
#include "modemd/diag/diag_dispatch.h"
#include "modemd/diag/diag_events.h"
#include "modemd/diag/diag_status.h"
#include "modemd/diag/wms_codec.h"
#include "modemd/diag/wms_diag.h"
#include "platform/env_fake.h"

namespace {

// Events raised to the client, "TYPE/CODE" each (value added for type 13).
std::mutex g_events_mutex;
std::vector<std::string> g_events;

void record_event(const diag_event *e) {
    std::lock_guard<std::mutex> lock(g_events_mutex);
    std::string s = std::to_string(e->event_type) + "/" + std::to_string(e->event_code);
    if (e->event_type == 13) s += "=" + std::to_string(e->event_value);
    g_events.push_back(s);
}

std::vector<std::string> events() {
    std::lock_guard<std::mutex> lock(g_events_mutex);
    return g_events;
}

// Waits (really, bounded) until `pred` holds.
template <typename Pred>
bool eventually(Pred pred) {
    for (int i = 0; i < 3000; ++i) {
        if (pred()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return pred();
}

class Async : public CardEngine {
  protected:
    void SetUp() override {
        {
            std::lock_guard<std::mutex> lock(g_events_mutex);
            g_events.clear();
        }
        for (uint16_t t : {3, 6, 9, 13})
            gCallbacks[t] = record_event;
    }
    void TearDown() override {
        diag_activation_stop();
        for (auto &slot : gCallbacks)
            slot = nullptr;
        CardEngine::TearDown();
    }
};

using Sms = Async;
using Events = Async;
using Activation = Async;
using LogMask = Async;

// Declared after a FakeEnv: ends a monitor still running before the fake clock goes away.
struct MonitorStopper {
    ~MonitorStopper() { diag_activation_stop(); }
};

void parse(const std::vector<uint8_t> &body) {
    diag_event_report_parse(body.data(), body.size());
}

}  // namespace

TEST_F(Sms, RequestsAreExact) {
    start({"sms-add 3 0000021002"});
    uint8_t txn = 0;
    wms_diag_set_transaction_id(9);
    ASSERT_EQ(0, WMSDiag_ClearMsg(&txn, 3));
    EXPECT_EQ(10, txn);
    EXPECT_EQ("rx 4b0e01000a0000000300000006000000", last_sent());
    ASSERT_EQ(0, WMSDiag_ClearAllMsgs(&txn));
    EXPECT_EQ("rx 4b0e02000b00000006000000", last_sent());
    ASSERT_EQ(0, WMSDiag_SetMessageTag(&txn, 7, 1));
    EXPECT_EQ("rx 4b0e05000c000000060000000700000001000000", last_sent());
    ASSERT_EQ(0, WMSDiag_SetMessageTag(&txn, 7, 0));
    EXPECT_EQ("rx 4b0e05000d000000060000000700000002000000", last_sent());
    uint8_t *list = nullptr, count = 9;
    ASSERT_EQ(0, WMSDiag_GetMsgList(&txn, &list, &count));
    EXPECT_EQ("rx 4b0e03000e00000006000000", last_sent());
    EXPECT_EQ(0, count);
    EXPECT_EQ(nullptr, list);
    uint8_t record[18] = {0xFF, 0xAA, 0xBB, 0xCC, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 0x42, 0x43};
    ASSERT_EQ(0, WMSDiag_SendWriteCmd(&txn, record, sizeof record));
    EXPECT_EQ(15, txn);
    EXPECT_EQ("rx 4b0e00000faabbcc0200010003000000060000004243", last_sent());
    size_t before = sent().size();
    EXPECT_EQ(kDiagNullArgument, WMSDiag_SendWriteCmd(&txn, record, 15));
    EXPECT_EQ(before, sent().size());
}

TEST_F(Sms, TransactionIdWraps) {
    start();
    wms_diag_set_transaction_id(254);
    uint8_t txn = 0;
    std::vector<int> ids;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(0, WMSDiag_ClearAllMsgs(&txn));
        ids.push_back(txn);
    }
    EXPECT_EQ((std::vector<int>{255, 0, 1}), ids);
}

TEST_F(Sms, ListAndIndexCheck) {
    start();
    uint8_t valid = 9;
    EXPECT_EQ(kWmsNoMessages, WMSDIAG_IsValidSMSIndex(1, &valid));
    ASSERT_TRUE(control("sms-add 4 0102"));
    ASSERT_TRUE(control("sms-add 6 0304"));
    ASSERT_EQ(0, WMSDIAG_IsValidSMSIndex(6, &valid));
    EXPECT_EQ(1, valid);
    ASSERT_EQ(0, WMSDIAG_IsValidSMSIndex(5, &valid));
    EXPECT_EQ(0, valid);
    uint8_t txn, count, *list = nullptr;
    ASSERT_EQ(0, WMSDiag_GetMsgList(&txn, &list, &count));
    ASSERT_EQ(2, count);
    EXPECT_EQ(4, list[0]);
    EXPECT_EQ(6, list[8]);
    free(list);
    // An answer cut inside its second entry claims more than it holds.
    ASSERT_TRUE(control("answer sms truncate 36"));
    EXPECT_EQ(kDiagMismatch, WMSDiag_GetMsgList(&txn, &list, &count));
}

TEST_F(Sms, ReadTakesTheLogPacket) {
    start({"sms-add 2 0000021002040702986555448d00080548656c6c6f"});
    uint8_t txn = 0, msg[300];
    size_t len = 0;
    wms_diag_set_transaction_id(0x20);
    ASSERT_EQ(0, WMSDiag_ReadMsg(&txn, 2, msg, sizeof msg, &len));
    EXPECT_EQ(0x21, txn);
    EXPECT_EQ(
        "rx 4b0e04002100000006000000"
        "02000000",
        last_sent());
    ASSERT_EQ(21u, len);
    wms_tl_message m;
    size_t size;
    ASSERT_EQ(0, wms_ts_decode_CDMA_tl(msg, len, &m, kWmsDataSize, &size));
    EXPECT_EQ(5, m.bearer_len);
    EXPECT_FALSE(diag_log_capture());
    // Too small a buffer: 13 with the length.
    EXPECT_EQ(kDiagNoRoom, WMSDiag_ReadMsg(&txn, 2, msg, 20, &len));
    EXPECT_EQ(21u, len);
    // No such message: byte 4 nonzero, nothing read, status kept.
    EXPECT_EQ(0, WMSDiag_ReadMsg(&txn, 9, msg, sizeof msg, &len));
    EXPECT_EQ(0u, len);
    EXPECT_EQ(0, txn);
    // A log packet claiming more than it carries.
    ASSERT_TRUE(control("sms-fault overclaim"));
    EXPECT_EQ(kWmsBadLogPacket, WMSDiag_ReadMsg(&txn, 2, msg, sizeof msg, &len));
    EXPECT_FALSE(diag_log_capture());
    ASSERT_TRUE(control("sms-fault refuse"));
    EXPECT_EQ(0, WMSDiag_ReadMsg(&txn, 2, msg, sizeof msg, &len));
    EXPECT_EQ(0u, len);
}

TEST_F(Sms, ReadWithoutLogPacketTimesOutAndCapturesNoMore) {
    start({"sms-add 2 0000021002", "sms-fault no-log"});
    FakeEnv env;
    std::atomic<bool> returned{false};
    std::thread clock([&] {
        // Whatever wait the read is in (the log packet's, once the answer has come), the fake
        // clock runs it out; a wait may also be skipped when its packet came first.
        for (int i = 0; i < 6000 && !returned; ++i) {
            if (env.wait_for_cond_waiter(100)) env.advance(10000);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    uint8_t txn = 0, msg[64];
    size_t len = 9;
    EXPECT_EQ(kDiagTimeout, WMSDiag_ReadMsg(&txn, 2, msg, sizeof msg, &len));
    returned = true;
    clock.join();
    EXPECT_EQ(0u, len);
    EXPECT_FALSE(diag_log_capture());
}

TEST(SmsAnswers, LogPacketAndListBounds) {
    uint8_t log[20] = {0x10, 0, 16, 0, 16, 0, 0x60, 0x11};
    uint8_t msg[8];
    size_t len = 99;
    ASSERT_EQ(0, wms_take_log_packet(log, 20, msg, sizeof msg, &len));
    EXPECT_EQ(4u, len);
    EXPECT_EQ(kDiagNoRoom, wms_take_log_packet(log, 20, msg, 3, &len));
    EXPECT_EQ(kWmsBadLogPacket, wms_take_log_packet(log, 19, msg, sizeof msg, &len));  // past
    log[2] = 11;  // L below the header's 12
    EXPECT_EQ(kWmsBadLogPacket, wms_take_log_packet(log, 20, msg, sizeof msg, &len));
    log[2] = 12;
    ASSERT_EQ(0, wms_take_log_packet(log, 20, msg, sizeof msg, &len));
    EXPECT_EQ(0u, len);
    log[7] = 0x12;  // another log code
    EXPECT_EQ(kWmsBadLogPacket, wms_take_log_packet(log, 20, msg, sizeof msg, &len));
    uint8_t list[40] = {0x4B, 0x0E, 3, 0, 2};
    uint8_t count = 0;
    EXPECT_EQ(kDiagMismatch, wms_take_list_count(list, 39, &count));
    ASSERT_EQ(0, wms_take_list_count(list, 40, &count));
    EXPECT_EQ(2, count);
    list[5] = 1;  // 258 entries
    EXPECT_EQ(kDiagMismatch, wms_take_list_count(list, 40, &count));
}

TEST_F(Events, TwoEventsInOneReport) {
    // 2560 with a 1-byte payload and an 8-byte stamp, then 298 with a 2-byte stamp.
    parse({15, 0, 0x00, 0x2A, 1, 2, 3, 4, 5, 6, 7, 8, 4, 0x2A, 0x81, 0x34, 0x12});
    EXPECT_EQ((std::vector<std::string>{"6/4", "3/28"}), events());
}

TEST_F(Events, RetriesThenGiveUp) {
    // 2562 length-coded: 0x0A02 | 3 << 13 | 0x8000 = 0xEA02.
    std::vector<uint8_t> five = {7, 0, 0x02, 0xEA, 0, 0, 1, 5, 0};
    five.pop_back();
    for (int i = 0; i < 3; ++i)
        parse(five);
    parse({6, 0, 0x02, 0xEA, 0, 0, 1, 2});
    EXPECT_EQ((std::vector<std::string>{"6/14", "6/14", "6/14", "6/15"}), events());
    uint8_t success = 9, done = 0;
    uint32_t retries = 0;
    diag_activation_items(&success, &done, &retries);
    EXPECT_EQ(1, done);
    EXPECT_EQ(0, success);
    EXPECT_EQ(3u, retries);
}

TEST_F(Events, LengthCodedEventThenAnother) {
    // 2565 (0xEA05) with 3 bytes, the length byte not counting itself, then 298.
    parse({12, 0, 0x05, 0xEA, 0, 0, 3, 0, 1, 0, 0x2A, 0x81, 0, 0});
    EXPECT_EQ((std::vector<std::string>{"9/22", "3/28"}), events());
}

TEST_F(Events, TruncatedAndShortEvents) {
    // n claims more than the packet holds: the first event is handled, the cut one is not.
    parse({40, 0, 0x2A, 0x81, 0, 0, 0x2A, 0x81, 0});
    // n shorter than the packet: the second event is outside the report.
    parse({4, 0, 0x2A, 0x81, 0, 0, 0x2A, 0x81, 0, 0});
    // A length byte running past the end.
    parse({7, 0, 0x05, 0xEA, 0, 0, 9, 0, 1});
    // Events shorter than their handlers read: 2565 with 2 bytes, 2574 with 8, 2562 value 11
    // with 4; each is skipped and the walk goes on to the 298 after it.
    parse({26, 0, 0x05, 0xEA, 0,    0,    2, 0, 1, 0x0E, 0xEA, 0, 0, 8,    0,    1, 0, 0,
           0,  0, 0,    0,    0x02, 0xEA, 0, 0, 4, 11,   0,    0, 0, 0x2A, 0x81, 0, 0});
    EXPECT_EQ((std::vector<std::string>{"3/28", "3/28"}), events());
}

TEST_F(Events, CallRecords) {
    // 2574 (0xEA0E), 9 bytes: byte 1 = 2 -> 13/29 value 2; byte 1 = 12 with u16 5 -> 13/30.
    parse({14, 0, 0x0E, 0xEA, 0, 0, 9, 0, 2, 0, 0, 0, 0, 0, 0, 0});
    parse({14, 0, 0x0E, 0xEA, 0, 0, 9, 0, 12, 0, 0, 5, 0, 0, 0, 0});
    parse({14, 0, 0x0E, 0xEA, 0, 0, 9, 0, 12, 0, 0, 4, 0, 0, 0, 9});
    EXPECT_EQ((std::vector<std::string>{"13/29=2", "13/30=0", "13/31=0"}), events());
}

TEST_F(Activation, CarrierOneDialsAndTheCardDecides) {
    start({"activation-script 50:2560:01 100:2560:0e"});
    ASSERT_EQ(0, ActivateDevice("*22899"));
    EXPECT_EQ("rx 3506" + hex_of({'*', '2', '2', '8', '9', '9'}) + std::string(52, '0') + "0b00",
              last_sent());
    // A second start while the monitor runs is refused without a request.
    size_t before = sent().size();
    EXPECT_EQ(kDiagActivationBusy, ActivateDevice("*22899"));
    EXPECT_EQ(before, sent().size());
    uint8_t success = 0;
    ASSERT_TRUE(diag_activation_wait(env_now_ms() + 60000, &success));
    EXPECT_EQ(1, success);
    // The reader raises 6/11 after it has signalled the decision.
    ASSERT_TRUE(eventually([] { return events().size() >= 2; }));
    EXPECT_EQ((std::vector<std::string>{"6/0", "6/11"}), events());
}

TEST_F(Activation, CarrierOneEndsWhenTheCallDrops) {
    start({"activation-cm 0"});
    FakeEnv env;
    MonitorStopper stopper;
    ASSERT_EQ(0, ActivateDevice("*228"));
    ASSERT_TRUE(env.wait_for_cond_waiter(60000));
    env.advance(4000);  // the pass: the CM word says no call, and no success came
    uint8_t success = 9;
    ASSERT_TRUE(eventually([] { return !events().empty(); }));
    ASSERT_TRUE(diag_activation_wait(env.now_ms() + 1000000, &success));
    EXPECT_EQ(0, success);
    EXPECT_EQ((std::vector<std::string>{"6/12"}), events());
}

TEST_F(Activation, CarrierTwoRetriesUntilDone) {
    start({"devinfo SIMULATED CARD FW 1.0.0 S-CARRIER",
           "activation-script 20:2562=05 40:2562=05 60:2562=05 80:2562=02"});
    FakeEnv env;
    MonitorStopper stopper;
    ASSERT_EQ(0, ActivateDevice(nullptr));
    EXPECT_EQ("rx 4b320d0002", last_sent());
    ASSERT_TRUE(eventually([] { return events().size() >= 4; }));
    EXPECT_EQ((std::vector<std::string>{"6/14", "6/14", "6/14", "6/15"}), events());
    // Value 2 only marks done: the monitor ends at its next pass.
    ASSERT_TRUE(env.wait_for_cond_waiter(60000));
    env.advance(4000);
    ASSERT_TRUE(eventually([] { return events().size() >= 5; }));
    ASSERT_TRUE(diag_activation_wait(env.now_ms() + 1000000, nullptr));
    EXPECT_EQ("6/1", events().back());
}

TEST_F(Activation, ThirdCmFailureGivesUp) {
    start({"answer cm-state error 0x13"});
    FakeEnv env;
    MonitorStopper stopper;
    ASSERT_EQ(0, ActivateDevice("#777"));
    // Each pass: the monitor's 4 s, then a CM read the card refuses. A transaction's wait may
    // be skipped (its answer came first), so the clock is moved whenever someone waits.
    for (int i = 0; i < 6000 && events().empty(); ++i) {
        if (env.wait_for_cond_waiter(100)) env.advance(4000);
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(eventually([] { return !events().empty(); }));
    ASSERT_TRUE(diag_activation_wait(env.now_ms() + 1000000, nullptr));
    EXPECT_EQ((std::vector<std::string>{"6/13"}), events());
}

TEST_F(Activation, DialStringIsChecked) {
    start();
    size_t before = sent().size();
    EXPECT_EQ(kDiagNullArgument, ActivateDevice("*228a9"));
    EXPECT_EQ(kDiagNullArgument, ActivateDevice(nullptr));
    EXPECT_EQ(kDiagNullArgument,
              Diag_Start_Origination_Call("123456789012345678901234567890123", 33, 11));
    EXPECT_EQ(kDiagNullArgument, Diag_Start_Origination_Call("12", 3, 11));
    EXPECT_EQ(before, sent().size());
}

TEST_F(Activation, VendorCommandsAndItems) {
    start({"model 0xAC", "nv 10033 010002070201", "nv 10000 00000000000000 05"});
    uint8_t out[256];
    ASSERT_EQ(0, Diag_IOTA_CMD(3, out));
    EXPECT_EQ("rx 4bfa0d0003", last_sent());
    EXPECT_EQ(3, out[0]);
    EXPECT_EQ(kDiagNullArgument, Diag_IOTA_CMD(256, out));
    ASSERT_EQ(0, diag_oma_cmd(1, out));
    EXPECT_EQ("rx 4bfa260001", last_sent());
    uint8_t a, b, c, d;
    uint16_t e;
    ASSERT_EQ(0, diag_oma_config_get(&a, &b, &c, &d, &e, nullptr));
    EXPECT_EQ(1, a);
    EXPECT_EQ(0, b);
    EXPECT_EQ(1, c);
    EXPECT_EQ(7, d);
    EXPECT_EQ(0x0102, e);
    EXPECT_EQ(kDiagNullArgument,
              diag_oma_config_get(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr));
    uint8_t ctl = 0;
    ASSERT_EQ(0, diag_activation_ctl_get(&ctl, nullptr));
    EXPECT_EQ(5, ctl);
}

TEST_F(LogMask, EnableAndDisableEditEquipmentOne) {
    start();
    ASSERT_EQ(0, EnableLog(0x1160 - 0x1000 + 0x1000));  // equipment 1, item 0x160 = 352
    std::string set = last_sent();
    // rx 73 000000 03000000 01000000 93010000, mask: byte 352 / 8 = 44 has bit 0.
    EXPECT_EQ(
        "rx 7300000003000000010000009301000"
        "0" +
            std::string(88, '0') + "01" + std::string(12, '0'),
        set);
    ASSERT_EQ(0, DisableLog(0x1160));
    EXPECT_EQ(std::string::npos, last_sent().find("01" + std::string(12, '0'), 30 + 88));
    size_t before = sent().size();
    EXPECT_EQ(kDiagNullArgument, EnableLog(0x2001));  // equipment 2
    EXPECT_EQ(kDiagNullArgument, EnableLog(0x1000 + 404));
    EXPECT_EQ(before, sent().size());
    ASSERT_EQ(0, EnableLog(kDiagAllLogCodes));
    EXPECT_EQ(
        "rx 730000000300000001000000930100"
        "00" +
            std::string(102, 'f'),
        last_sent());
}

TEST_F(LogMask, RefusedOrShortReadSendsNoSet) {
    start({"log-read refuse"});
    size_t before = sent().size();
    EXPECT_EQ(kDiagNotSupported, EnableLog(0x1001));
    EXPECT_EQ(before + 1, sent().size());
    ASSERT_TRUE(control("log-read normal"));
    ASSERT_TRUE(control("answer log-config truncate 70"));
    EXPECT_EQ(kDiagNotSupported, DisableLog(0x1001));
    EXPECT_EQ(before + 2, sent().size());
}

TEST(LogMaskLocal, EquipmentsAndItemsAreBounded) {
    EXPECT_EQ(kDiagNullArgument, log_config_mask(10 << 12, 1));
    EXPECT_EQ(kDiagNullArgument, log_config_mask(0x0001, 1));  // equipment 0 has item 0 only
    EXPECT_EQ(0, log_config_mask(kDiagAllLogCodes, 1));
    for (size_t i = 0; i < kDiagLogMaskBuffer; ++i)
        ASSERT_EQ(0xFF, diag_log_mask()[i]);
    EXPECT_EQ(0, log_config_mask(kDiagAllLogCodes, 0));
    EXPECT_EQ(0, diag_log_mask()[0]);
}
