// Field-test reporting against the simulated card, on the fake clock.
#include "modemd/diag/field_test.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "modemd/diag/card_engine_fixture.h"
#include "platform/env_fake.h"

namespace {

std::mutex g_mutex;
std::vector<std::vector<std::pair<std::string, std::string>>> g_tables;

void take_table(const diag_event *e) {
    auto *data = static_cast<const diag_field_test_data *>(e->event_data);
    std::vector<std::pair<std::string, std::string>> rows;
    for (uint32_t i = 0; i < data->rows; ++i)
        rows.push_back({data->labels[i], data->values[i]});
    std::lock_guard<std::mutex> lock(g_mutex);
    g_tables.push_back(rows);
}

size_t tables() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_tables.size();
}

// Declared after a FakeEnv: switches reporting off before the fake clock goes away.
struct FieldTestOff {
    ~FieldTestOff() { (void)EnableFieldTesting(0); }
};

class FieldTest : public CardEngine {
  protected:
    void SetUp() override {
        std::lock_guard<std::mutex> lock(g_mutex);
        g_tables.clear();
        gCallbacks[kDiagEventFieldTest] = take_table;
    }
    void TearDown() override {
        (void)EnableFieldTesting(0);
        gCallbacks[kDiagEventFieldTest] = nullptr;
        CardEngine::TearDown();
    }
};

}  // namespace

TEST_F(FieldTest, OnTwiceThenOffTwice) {
    start();
    EXPECT_EQ(0, EnableFieldTesting(1));
    EXPECT_EQ(kFieldTestAlreadyOn, EnableFieldTesting(1));
    EXPECT_EQ(0, EnableFieldTesting(0));
    EXPECT_EQ(kFieldTestAlreadyOff, EnableFieldTesting(0));
    for (int i = 0; i < 20; ++i) {
        ASSERT_EQ(0, EnableFieldTesting(1));
        ASSERT_EQ(0, EnableFieldTesting(0));
    }
}

TEST_F(FieldTest, OffWakesTheThreadWithoutWaitingOutItsSecond) {
    start();
    FakeEnv env;
    FieldTestOff off;
    ASSERT_EQ(0, EnableFieldTesting(1));
    ASSERT_TRUE(env.wait_for_cond_waiter(60000));
    unsigned long before = env.now_ms();
    ASSERT_EQ(0, EnableFieldTesting(0));  // joined: the thread has ended
    EXPECT_EQ(before, env.now_ms());
    EXPECT_EQ(0u, tables());
}

TEST_F(FieldTest, OneTableASecondWithTheCardsValues) {
    start({"nv 178 00363139353535313233343536", "nv 20 00 5b01 6a02", "nv 259 00 2b10 0000 1600",
           "nv 423 08080404", "record ta-graph a6f0e2", "record-field snapshot 42 1 3"});
    FakeEnv env;
    FieldTestOff off;
    ASSERT_EQ(0, EnableFieldTesting(1));
    ASSERT_TRUE(env.wait_for_cond_waiter(60000));
    env.advance(1000);
    for (int i = 0; i < 3000 && tables() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(0, EnableFieldTesting(0));
    std::lock_guard<std::mutex> lock(g_mutex);
    ASSERT_EQ(1u, g_tables.size());
    const auto &t = g_tables[0];
    ASSERT_EQ(62u, t.size());
    EXPECT_EQ("Warranty Date", t[0].first);
    EXPECT_EQ("-", t[0].second);
    EXPECT_EQ("Candidate Set Channel", t[61].first);
    EXPECT_EQ("1", t[3].second);
    EXPECT_EQ("Directory Number", t[6].first);
    EXPECT_EQ("6195551234", t[6].second);
    EXPECT_EQ("347", t[10].second);
    EXPECT_EQ("618", t[11].second);
    EXPECT_EQ("[0] 4139 [1] 22", t[14].second);
    EXPECT_EQ("4.4.8.8", t[19].second);  // the item's u32 is little-endian
    EXPECT_EQ("-90 dBm", t[35].second);
    EXPECT_EQ("-16 dBm", t[40].second);
    EXPECT_EQ("CONNECTED", t[47].second);
    EXPECT_EQ("SIMULATED CARD FW 1.0.0 ", t[5].second);
}
