// The other NV accessors, the generic item requests, and the SPC, lock and PRL requests
// against the simulated card.
#include "modemd/diag/nv_items.h"

#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "modemd/diag/card_engine_fixture.h"
#include "modemd/diag/diag_guard.h"
#include "modemd/diag/diag_nv.h"
#include "modemd/diag/diag_radio.h"
#include "modemd/diag/diag_status.h"
#include "modemd/diag/nam_items.h"
#include "platform/env_fake.h"

namespace {

using NvItems = CardEngine;
using Guard = CardEngine;

TEST_F(NvItems, GenericReadCopiesTheCardsRecord) {
    start({"nv 2002 46 49 44 2d 31"});
    diag_nv_record r{};
    r.item = 2002;
    r.nv_status = 7;  // sent as it stands; the card's record comes back
    ASSERT_EQ(0, Diag_NV_Read(&r));
    EXPECT_EQ(0, r.nv_status);
    EXPECT_EQ(0, std::memcmp(r.item_data, "FID-1", 5));
    EXPECT_EQ(kDiagNullArgument, Diag_NV_Read(nullptr));
    r.item = 3000;
    ASSERT_EQ(0, Diag_NV_Read(&r));
    EXPECT_EQ(kCardNvNotActive, r.nv_status);
}

TEST_F(NvItems, AnswerOfTheWrongLengthIsAMismatch) {
    start({"answer nv-read truncate 132"});
    diag_nv_record r{};
    r.item = 10;
    EXPECT_EQ(kDiagMismatch, Diag_NV_Read(&r));
    ASSERT_TRUE(control("answer nv-read error 0x42"));
    EXPECT_EQ(kDiagBadSpcMode, Diag_NV_Read(&r));
}

TEST_F(NvItems, ByteAndWordItemsBothWays) {
    start({"nv 423 0a 00 00 01", "nv 10027 05"});
    uint32_t dns = 0;
    ASSERT_EQ(0, primary_dns_get(&dns, nullptr));
    EXPECT_EQ(0x0100000Au, dns);
    EXPECT_EQ(nv_request(0x26, 423, {}), last_sent());
    uint8_t flag = 0;
    ASSERT_EQ(0, diag_mass_storage_enable_flag_get(&flag, nullptr));
    EXPECT_EQ(1, flag);  // normalised
    ASSERT_EQ(0, diag_mass_storage_enable_flag_set(9, nullptr));
    EXPECT_EQ(nv_request(0x27, 10027, {0x01}), last_sent());
    ASSERT_EQ(0, SetMIPPref(2, nullptr));
    EXPECT_EQ(nv_request(0x27, 459, {0x02}), last_sent());
    uint8_t pref = 0;
    ASSERT_EQ(0, GetMIPPref(&pref, nullptr));
    EXPECT_EQ(2, pref);
    uint16_t err = 0;
    EXPECT_EQ(kDiagNvRefused, secondary_dns_get(&dns, &err));
    EXPECT_EQ(kCardNvNotActive, err);
}

TEST_F(NvItems, DialStringIsBoundedAndTerminated) {
    start({"nv 298 04 23 37 37 37 ff"});
    char out[8];
    std::memset(out, 'x', sizeof out);
    ASSERT_EQ(0, pkt_orig_string_read(out, 5, nullptr));
    EXPECT_STREQ("#777", out);
    EXPECT_EQ(kDiagNoRoom, pkt_orig_string_read(out, 4, nullptr));
    ASSERT_TRUE(control("nv 298 80"));  // 128: past the item's data
    EXPECT_EQ(kDiagMismatch, pkt_orig_string_read(out, sizeof out, nullptr));
}

TEST_F(NvItems, LockCodeReadsAndChangesOnlyFourBytes) {
    start({"lock-code 1234", "nv 81 01"});
    char code[5];
    ASSERT_EQ(0, lock_code_get(code, sizeof code, nullptr));
    EXPECT_STREQ("1234", code);
    EXPECT_EQ(kDiagNoRoom, lock_code_get(code, 3, nullptr));
    uint8_t locked = 0;
    ASSERT_EQ(0, IsDeviceLocked(&locked, nullptr));
    EXPECT_EQ(1, locked);
    uint8_t ok = 9;
    size_t before = sent().size();
    EXPECT_EQ(kDiagNullArgument, change_lock_code("12", 3, &ok));
    EXPECT_EQ(before, sent().size());
    const char longer[] = {'9', '8', '7', '6', '5'};
    ASSERT_EQ(0, change_lock_code(longer, sizeof longer, &ok));
    EXPECT_EQ(1, ok);
    EXPECT_EQ(nv_request(0x27, 82, {'9', '8', '7', '6'}), last_sent());
    ASSERT_TRUE(control("nv-status 82 3"));
    EXPECT_EQ(kDiagNvRefused, change_lock_code("1111", 4, &ok));
    EXPECT_EQ(0, ok);
}

TEST_F(NvItems, MipProfileChecksBeforeSending) {
    start();
    uint8_t profile[kMipUserProfileSize] = {6};
    EXPECT_EQ(kDiagNullArgument, mip_gen_user_prof_write(profile, nullptr));
    profile[0] = 2;
    profile[1] = 73;
    EXPECT_EQ(kDiagNullArgument, mip_gen_user_prof_write(profile, nullptr));
    uint8_t secret[kMipSharedSecretSize] = {1, 16};
    secret[18] = 17;
    EXPECT_EQ(kDiagNullArgument, mip_ss_user_prof_write(secret, nullptr));
    EXPECT_TRUE(sent().empty());
    profile[1] = 3;
    std::memcpy(profile + 2, "a@b", 3);
    ASSERT_EQ(0, mip_gen_user_prof_write(profile, nullptr));
    uint8_t back[kMipUserProfileSize] = {2};
    ASSERT_EQ(0, mip_gen_user_prof_read(back, nullptr));
    EXPECT_EQ(0, std::memcmp(profile, back, sizeof back));
}

// Waits on the fake clock: a silent card times an item read out after its 7 seconds, not
// before; a mode change after the seconds its caller gives.
// `waits_before`: timed waits begun on this FakeEnv before (each silent wait begins two).
unsigned long silent_wait(FakeEnv &env, const std::function<int()> &op, unsigned long first,
                          unsigned waits_before, int *status) {
    unsigned long start = env.now_ms();
    std::thread clock([&] {
        if (!env.wait_for_cond_waits(waits_before + 1, 60000)) return;
        env.advance(first);  // just short of the deadline: the waiter wakes and waits on
        if (!env.wait_for_cond_waits(waits_before + 2, 60000)) return;
        env.advance(1);
    });
    *status = op();
    clock.join();
    return env.now_ms() - start;
}

TEST_F(NvItems, SilentCardTimesOutOnTheItemWait) {
    start({"answer nv-read silent", "answer mode silent"});
    FakeEnv env;
    int status = 0;
    uint16_t mode = 0;
    EXPECT_EQ(7000u,
              silent_wait(
                  env, [&] { return nam_pref_mode_get(0, &mode, nullptr); }, 6999, 0, &status));
    EXPECT_EQ(kDiagTimeout, status);
    EXPECT_EQ(5000u, silent_wait(
                         env, [&] { return Mode_Change_Radio_Reset(); }, 4999, 2, &status));
    EXPECT_EQ(kDiagTimeout, status);
}

TEST_F(Guard, SpcAcceptedOnlyWithTheCardsCode) {
    start({"spc 123456"});
    uint8_t ok = 7;
    ASSERT_EQ(0, Diag_SPC("000000", &ok));
    EXPECT_EQ(0, ok);
    EXPECT_EQ("rx 41303030303030000000", last_sent());
    ASSERT_EQ(0, Diag_SPC("123456", &ok));
    EXPECT_EQ(1, ok);
    EXPECT_EQ(kDiagNullArgument, Diag_SPC(nullptr, &ok));
}

TEST_F(Guard, LockFlagRequestAndResult) {
    start({"lock-code 4321"});
    uint8_t result = 9;
    ASSERT_EQ(0, lock_flag_set(1, "4321", 4, &result));
    EXPECT_EQ("rx 4b320a00000134333231", last_sent());
    EXPECT_EQ(1, result);
    ASSERT_EQ(0, lock_flag_set(0, "0000", 4, &result));
    EXPECT_EQ(0, result);
    EXPECT_EQ(kDiagNullArgument, lock_flag_set(0, "000", 3, &result));
}

std::string prl_request(uint8_t seq, uint8_t more, uint8_t nam, const std::vector<uint8_t> &data) {
    std::vector<uint8_t> p(126, 0);
    p[0] = 0x48;
    p[1] = seq;
    p[2] = more;
    p[3] = nam;
    p[4] = static_cast<uint8_t>(data.size() * 8);
    p[5] = static_cast<uint8_t>(data.size() * 8 >> 8);
    for (size_t i = 0; i < data.size() && i < 120; ++i)
        p[6 + i] = data[i];
    return "rx " + hex_of(p);
}

std::vector<uint8_t> prl_bytes(size_t n) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(i * 7 + 1);
    return v;
}

TEST_F(Guard, PrlGoesOutIn120ByteChunks) {
    start();
    std::vector<uint8_t> prl = prl_bytes(240);
    size_t chunks = 0;
    ASSERT_EQ(0, Prl_Write(1, prl.data(), prl.size(), &chunks));
    EXPECT_EQ(2u, chunks);
    std::vector<std::string> s = sent();
    ASSERT_EQ(2u, s.size());
    EXPECT_EQ(prl_request(0, 1, 1, {prl.begin(), prl.begin() + 120}), s[0]);
    EXPECT_EQ(prl_request(1, 0, 1, {prl.begin() + 120, prl.end()}), s[1]);

    prl = prl_bytes(250);
    ASSERT_EQ(0, Prl_Write(0, prl.data(), prl.size(), &chunks));
    EXPECT_EQ(3u, chunks);
    s = sent();
    ASSERT_EQ(5u, s.size());
    EXPECT_EQ(prl_request(2, 0, 0, {prl.begin() + 240, prl.end()}), s[4]);
    EXPECT_NE(std::string::npos, s[4].find("48020000"
                                           "5000"));  // bit count 80
}

TEST_F(Guard, PrlStopsAtTheFirstFailingChunk) {
    start({"prl-fail 1 2"});
    std::vector<uint8_t> prl = prl_bytes(250);
    size_t chunks = 9;
    EXPECT_EQ(kDiagWriteFailed, Prl_Write(0, prl.data(), prl.size(), &chunks));
    EXPECT_EQ(1u, chunks);
    EXPECT_EQ(2u, sent().size());  // the third chunk was never sent
}

TEST_F(Guard, PrlLengthsRefusedBeforeSending) {
    start();
    std::vector<uint8_t> prl = prl_bytes(kPrlMaxSize + 1);
    EXPECT_EQ(kDiagBadLength, Prl_Write(0, prl.data(), 0));
    EXPECT_EQ(kDiagNullArgument, Prl_Write(0, prl.data(), prl.size()));
    EXPECT_EQ(kDiagNullArgument, Prl_Write(2, prl.data(), 10));
    EXPECT_EQ(kDiagNullArgument, Diag_PRL_Write(0, 0, prl.data(), 121, 968, 0));
    EXPECT_TRUE(sent().empty());
}

}  // namespace
