// The card API against a scripted modemd of the test's own (a thread serving a private queue):
// the request bytes of each call, how answers are decoded, every failure leaving the out
// values untouched, and a late answer never taken for a later call.
#include "tools/cardlink.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/msg.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/msgcmd.h"
#include "tests/support/testsupport.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Request {
    long mtype;
    int keyid;
    uint16_t cmd;
    uint32_t len;
    Bytes data;  // the data bytes `len` counts
};

struct Answer {
    bool silent = false;
    uint32_t result = kResultOk;
    Bytes data;
};

void post(const Request &to, const Answer &a) {
    msgcmd m{};
    m.mtype = to.mtype;
    msgcmd_set_keyid(m, to.keyid);
    msgcmd_set_cmd(m, to.cmd);
    msgcmd_set_len(m, static_cast<uint32_t>(kMsgcmdLenBase + a.data.size()));
    msgcmd_set_result(m, a.result);
    if (!a.data.empty()) memcpy(msgcmd_data(m), a.data.data(), a.data.size());
    int q = msgget(to.keyid, 0);
    ASSERT_GE(q, 0);
    size_t text = kMsgcmdHeaderText + ((a.data.size() + 3) & ~size_t{3});
    ASSERT_EQ(0, msgsnd(q, &m, text, 0)) << strerror(errno);
}

// A modemd of the test's own: each request is recorded and answered by `respond`.
class FakeModemd {
  public:
    using Responder = std::function<Answer(const Request &, size_t index)>;
    explicit FakeModemd(Responder respond) : respond_(std::move(respond)) {
        key_ = testsupport::unused_ipc_key();
        qid_ = msgget(key_, IPC_CREAT | IPC_EXCL | 0600);
        thread_ = std::thread([this] { serve(); });
    }
    ~FakeModemd() {
        msgctl(qid_, IPC_RMID, nullptr);  // ends the blocking receive
        thread_.join();
    }
    int key() const { return key_; }
    std::vector<Request> requests() {
        std::lock_guard<std::mutex> lock(mutex_);
        return requests_;
    }

  private:
    void serve() {
        for (size_t i = 0;; ++i) {
            msgcmd m{};
            ssize_t n = msgrcv(qid_, &m, kMsgcmdTextSize, 0, MSG_NOERROR);
            if (n < 0) {
                if (errno == EINTR) continue;
                return;
            }
            Request r{m.mtype, msgcmd_keyid(m), msgcmd_cmd(m), msgcmd_len(m), {}};
            size_t claimed = r.len >= kMsgcmdLenBase ? r.len - kMsgcmdLenBase : 0;
            size_t got = static_cast<size_t>(n) - kMsgcmdHeaderText;
            r.data.assign(msgcmd_data(m), msgcmd_data(m) + std::min(claimed, got));
            {
                std::lock_guard<std::mutex> lock(mutex_);
                requests_.push_back(r);
            }
            Answer a = respond_(r, i);
            if (!a.silent) post(r, a);
        }
    }

    Responder respond_;
    int key_;
    int qid_;
    std::mutex mutex_;
    std::vector<Request> requests_;
    std::thread thread_;
};

class CardLink : public ::testing::Test {
  protected:
    void use(FakeModemd &server, int ms = 30000) {
        setenv("MODEMD_QUEUE_KEY", std::to_string(server.key()).c_str(), 1);
        ASSERT_EQ(0, cardlinkapi_init(ms));
    }
    void TearDown() override {
        (void)cardlinkapi_fina();
        unsetenv("MODEMD_QUEUE_KEY");
    }
};

TEST_F(CardLink, ValuesAreTakenInHostOrderFromTheCommandsOfTheTable) {
    FakeModemd server([](const Request &r, size_t) {
        switch (r.cmd) {
            case 1:
                return Answer{false, kResultOk, {0x3D, 0x2C, 0x1B, 0x8A}};
            case 2:
                return Answer{false, kResultOk, {0xB5, 0xFF}};
            case 7:
                return Answer{false, kResultOk, {0x00, 0x00, 0x03, 0x00}};
            default:
                return Answer{false, kResultOk, {0x02, 0x01}};
        }
    });
    use(server);
    uint32_t esn = 0, rssi = 0, band = 0, act = 0, svc = 0, sms = 0;
    ASSERT_EQ(0, cl_get_esn(&esn));
    ASSERT_EQ(0, cl_get_rssi(&rssi));
    ASSERT_EQ(0, cl_get_bandclass(&band));
    ASSERT_EQ(0, cl_get_activation_status(&act));
    ASSERT_EQ(0, cl_get_service_indication(&svc));
    ASSERT_EQ(0, cl_get_sms_status(&sms));
    EXPECT_EQ(0x8A1B2C3Du, esn);
    EXPECT_EQ(0xFFB5u, rssi);
    EXPECT_EQ(0x0102u, band);
    EXPECT_EQ(0x0102u, act);
    EXPECT_EQ(0x0102u, svc);
    EXPECT_EQ(0x00030000u, sms);  // three unflagged
    std::vector<Request> reqs = server.requests();
    ASSERT_EQ(6u, reqs.size());
    const uint16_t cmds[] = {1, 2, 3, 4, 5, 7};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(cmds[i], reqs[i].cmd);
        EXPECT_EQ(12u, reqs[i].len);
    }
}

TEST_F(CardLink, SmsCallsCarryTheirArgumentsInHostOrder) {
    FakeModemd server([](const Request &, size_t) { return Answer{}; });
    use(server);
    char text[8] = "xxxxxxx", other[4] = "yyy";
    ASSERT_EQ(0, cl_read_sms(0x0102, text, sizeof text, other));
    EXPECT_STREQ("", text);
    EXPECT_STREQ("", other);
    ASSERT_EQ(0, cl_write_sms("test....", 8, "8585550100"));
    ASSERT_EQ(0, cl_flag_sms(10, 1));
    ASSERT_EQ(0, cl_remove_sms(9));
    std::vector<Request> reqs = server.requests();
    ASSERT_EQ(4u, reqs.size());
    uint8_t idx[2], flag[4], rem[2];
    put_host16(idx, 0x0102);
    put_host16(flag, 10);
    put_host16(flag + 2, 1);
    put_host16(rem, 9);
    EXPECT_EQ(8, reqs[0].cmd);
    EXPECT_EQ(Bytes(idx, idx + 2), reqs[0].data);
    EXPECT_EQ(9, reqs[1].cmd);
    std::string write(reqs[1].data.begin(), reqs[1].data.end());
    EXPECT_EQ(std::string("8585550100\0test....", 19), write);
    EXPECT_EQ(11, reqs[2].cmd);
    EXPECT_EQ(Bytes(flag, flag + 4), reqs[2].data);
    EXPECT_EQ(10, reqs[3].cmd);
    EXPECT_EQ(Bytes(rem, rem + 2), reqs[3].data);
}

TEST_F(CardLink, EveryFailureReturnsMinusOneAndLeavesTheValueAlone) {
    FakeModemd server([](const Request &r, size_t) {
        switch (r.cmd) {
            case 1:
                return Answer{false, kResultOk, {1, 2, 3}};  // one byte short
            case 2:
                return Answer{false, kResultOk, {1}};
            case 3:
                return Answer{false, kResultFailed, {1, 2}};
            case 4:
                return Answer{false, kResultNoHandler, {1, 2}};
            case 8:
                return Answer{false, kResultFailed, {}};
            default:
                return Answer{false, kResultNoHandler, {}};
        }
    });
    use(server);
    uint32_t v = 0xDEADBEEF;
    EXPECT_EQ(-1, cl_get_esn(&v));
    EXPECT_EQ(-1, cl_get_rssi(&v));
    EXPECT_EQ(-1, cl_get_bandclass(&v));
    EXPECT_EQ(-1, cl_get_activation_status(&v));
    EXPECT_EQ(-1, cl_get_sms_status(&v));
    EXPECT_EQ(0xDEADBEEFu, v);
    char text[4] = "abc", other[4] = "def";
    EXPECT_EQ(-1, cl_read_sms(0, text, sizeof text, other));
    EXPECT_STREQ("abc", text);
    EXPECT_STREQ("def", other);
    EXPECT_EQ(-1, cl_flag_sms(1, 1));
    EXPECT_EQ(7u, server.requests().size());
}

TEST_F(CardLink, WriteThatCannotFitIsRefusedWithoutAsking) {
    FakeModemd server([](const Request &, size_t) { return Answer{}; });
    use(server);
    std::string dest(10, '5');
    std::string fits(kMsgcmdDataMax - dest.size() - 1, 'a');
    EXPECT_EQ(0, cl_write_sms(fits.data(), static_cast<int>(fits.size()), dest.c_str()));
    std::string over = fits + "a";
    EXPECT_EQ(-1, cl_write_sms(over.data(), static_cast<int>(over.size()), dest.c_str()));
    EXPECT_EQ(-1, cl_write_sms("x", -1, dest.c_str()));
    ASSERT_EQ(1u, server.requests().size());
    EXPECT_EQ(kMsgcmdDataMax, server.requests()[0].data.size());
}

TEST_F(CardLink, LateAnswerIsNeverTakenForTheNextCall) {
    FakeModemd server([](const Request &r, size_t i) {
        if (i == 0) return Answer{true, 0, {}};  // the first call is given up
        // The first call's answer arrives now, just before the second's.
        Request late = r;
        late.mtype = r.mtype - 1;
        post(late, Answer{false, kResultOk, {0x11, 0x11, 0x11, 0x11}});
        return Answer{false, kResultOk, {0x22, 0x22, 0x22, 0x22}};
    });
    use(server, 300);
    uint32_t esn = 7;
    EXPECT_EQ(-1, cl_get_esn(&esn));
    EXPECT_EQ(7u, esn);
    ASSERT_EQ(0, cl_get_esn(&esn));
    EXPECT_EQ(0x22222222u, esn);
    std::vector<Request> reqs = server.requests();
    ASSERT_EQ(2u, reqs.size());
    EXPECT_NE(reqs[0].mtype, reqs[1].mtype);
}

TEST_F(CardLink, CallsFailWithoutInitOrWithoutModemd) {
    uint32_t v = 5;
    EXPECT_EQ(-1, cl_get_esn(&v));
    EXPECT_EQ(-1, cardlinkapi_fina());
    setenv("MODEMD_QUEUE_KEY", std::to_string(testsupport::unused_ipc_key()).c_str(), 1);
    ASSERT_EQ(0, cardlinkapi_init(2222));
    EXPECT_EQ(-1, cl_get_esn(&v));
    EXPECT_EQ(-1, cl_remove_sms(0));
    EXPECT_EQ(5u, v);
    EXPECT_EQ(0, cardlinkapi_fina());
    EXPECT_EQ(-1, cardlinkapi_fina());
    setenv("MODEMD_QUEUE_KEY", "not-a-key", 1);
    EXPECT_EQ(-1, cardlinkapi_init(2222));
}

}  // namespace
