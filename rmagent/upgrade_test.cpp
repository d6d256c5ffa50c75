// The firmware download on the fake clock: the window of 32 requests, repeats, duplicates,
// every bad fragment reply, the give-up, the upgrade command's checks, and what reaches mtd.
#include "rmagent/upgrade.h"

#include <arpa/inet.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <deque>
#include <functional>

#include "common/bytes.h"
#include "rmagent/agent_fixture.h"
#include "tools/trx_image.h"

namespace {

struct Request {
    uint16_t index;
    uint32_t seq;
    unsigned long at;  // fake clock when the agent asked
};

std::vector<uint8_t> image_of(size_t total) {
    TrxBuild b;
    std::vector<uint8_t> payload(total - 28);
    for (size_t i = 0; i < payload.size(); ++i)
        payload[i] = static_cast<uint8_t>(i * 7 + i / 1024);
    b.payloads.push_back(payload);
    return trx_build(b);
}

std::vector<uint8_t> upgrade_payload(uint16_t count, uint32_t total) {
    std::vector<uint8_t> p(8, 0);
    put_be16(p.data() + 2, count);
    put_be32(p.data() + 4, total);
    return p;
}

class Upgrade : public AgentTest {
  protected:
    void SetUp() override {
        AgentTest::SetUp();
        testsupport::write_file(root_.host("/proc/meminfo"),
                                "MemTotal: 65536 kB\nMemFree: 32768 kB\nBuffers: 0 kB\n"
                                "Cached: 0 kB\n");
        open_session();
        server_.got.clear();
        on_wait = [this] { serve(); };
        env_.on_run = [this](const std::vector<std::string> &argv, const int *) {
            if (argv.empty() || argv[0] != "mtd") return 0;
            mtd_argv_ = argv;
            flashed_ = testsupport::read_file(root_.host("/tmp/firmware.download"));
            return mtd_status_;
        };
    }

    // The fragment server: takes the agent's new fragment requests and answers them as
    // `answer` says (by default, the right share).
    void serve() {
        size_t before = requests_.size();
        for (; seen_ < server_.got.size(); ++seen_) {
            const Datagram &d = server_.got[seen_];
            if (d.bytes.size() < 40 || d.oid() != 6 || d.kind() != 2) continue;
            Request r{get_be16(d.bytes.data() + 36), d.seq(), env_.now_ms()};
            requests_.push_back(r);
            pending_.push_back(r);
        }
        if (requests_.size() > before) batches_.push_back(requests_.size() - before);
        while (!pending_.empty()) {
            Request r = pending_.front();
            pending_.pop_front();
            answer(r);
            if (one_per_wait_) break;
        }
    }
    void answer(const Request &r) {
        if (policy_)
            policy_(r);
        else
            send_fragment(r.index, r.seq);
    }
    std::vector<uint8_t> share(uint16_t index) const {
        size_t at = index * 1024u, end = std::min(image_.size(), at + 1024);
        return std::vector<uint8_t>(image_.begin() + at, image_.begin() + end);
    }
    static std::vector<uint8_t> reply(uint16_t index, uint32_t seq,
                                      const std::vector<uint8_t> &data) {
        std::vector<uint8_t> payload = {static_cast<uint8_t>(index >> 8),
                                        static_cast<uint8_t>(index), 0, 0};
        payload.insert(payload.end(), data.begin(), data.end());
        return FakeServer::request(6, 3, seq, payload);
    }
    void send_fragment(uint16_t index, uint32_t seq) {
        server_.send(reply(index, seq, share(index)));
    }

    // The server's upgrade command for `image_` (or the given figures); the agent takes it.
    void upgrade(long count = -1, long total = -1) {
        uint32_t t =
            total < 0 ? static_cast<uint32_t>(image_.size()) : static_cast<uint32_t>(total);
        uint16_t c =
            count < 0 ? static_cast<uint16_t>((t + 1023) / 1024) : static_cast<uint16_t>(count);
        server_.send(FakeServer::request(0x0100, 0, 777, upgrade_payload(c, t)));
        step();
        server_.pump();
    }
    std::vector<Datagram> acks() const {
        std::vector<Datagram> out;
        for (const Datagram &d : server_.got)
            if (d.kind() == 1) out.push_back(d);
        return out;
    }
    bool sigterm_sent() {
        for (int sig : env_.signals())
            if (sig == SIGTERM) return true;
        return false;
    }
    bool image_file_left() const {
        return access(root_.host("/tmp/firmware.download").c_str(), F_OK) == 0;
    }
    std::string flashed_image() const { return std::string(image_.begin(), image_.end()); }

    std::vector<uint8_t> image_;
    std::vector<Request> requests_;
    std::vector<size_t> batches_;
    std::deque<Request> pending_;
    size_t seen_ = 0;
    bool one_per_wait_ = false;
    std::function<void(const Request &)> policy_;
    std::vector<std::string> mtd_argv_;
    std::string flashed_;
    int mtd_status_ = 0;
};

TEST_F(Upgrade, ThirtyTwoRequestsThenOnePerFreedSlotAndTheImageIsFlashedThenInitSignalled) {
    image_ = image_of(40 * 1024 - 100);
    one_per_wait_ = true;
    uint32_t seq0 = s_->seq;
    upgrade();
    ASSERT_FALSE(batches_.empty());
    EXPECT_EQ(32u, batches_[0]);
    for (size_t i = 1; i < batches_.size(); ++i)
        EXPECT_EQ(1u, batches_[i]) << "batch " << i;
    ASSERT_EQ(40u, requests_.size());
    for (size_t i = 0; i < requests_.size(); ++i) {
        EXPECT_EQ(i, requests_[i].index);
        EXPECT_EQ(seq0 + i, requests_[i].seq) << "seq advances once per request";
    }
    EXPECT_EQ(seq0 + 40, s_->seq);
    ASSERT_EQ(1u, acks().size());
    EXPECT_EQ(0x0100, acks()[0].oid());
    EXPECT_EQ(777u, acks()[0].seq());
    EXPECT_EQ((std::vector<std::string>{"mtd", "upgrade_trx", "/tmp/firmware.download", "linux"}),
              mtd_argv_);
    EXPECT_EQ(flashed_image(), flashed_);
    EXPECT_TRUE(sigterm_sent());
    EXPECT_EQ(1, env_.reboot_waits());
    EXPECT_FALSE(image_file_left());
    std::string t = trace();
    EXPECT_NE(std::string::npos,
              t.find("get upgradecmd ... \nBegin to download firmware form RCM server totlen = "
                     "40860 , fragment = 40 ... \n"));
    EXPECT_NE(std::string::npos, t.find("OK!\nCRC OK "));
    EXPECT_NE(std::string::npos, t.find("done\n"));
}

TEST_F(Upgrade, DroppedFragmentIsAskedAgainAfterTenSecondsWithAFreshSeq) {
    image_ = image_of(8 * 1024);
    bool dropped = false;
    policy_ = [&](const Request &r) {
        if (r.index == 5 && !dropped) {
            dropped = true;
            return;
        }
        send_fragment(r.index, r.seq);
    };
    uint32_t seq0 = s_->seq;
    upgrade();
    std::vector<Request> fives;
    for (const Request &r : requests_)
        if (r.index == 5) fives.push_back(r);
    ASSERT_EQ(2u, fives.size());
    long gap = static_cast<long>(fives[1].at - fives[0].at);
    EXPECT_GE(gap, 10000);
    EXPECT_LE(gap, 12000);
    EXPECT_EQ(9u, requests_.size());
    for (size_t i = 0; i < requests_.size(); ++i)
        EXPECT_EQ(seq0 + i, requests_[i].seq);
    EXPECT_NE(std::string::npos, trace().find("!"));
    EXPECT_EQ(flashed_image(), flashed_);
}

TEST_F(Upgrade, DuplicateIsDroppedWithAStarAndNotCountedTwice) {
    image_ = image_of(3 * 1024 - 10);
    // Fragment 0 twice before the others: counted twice, the download would end one short.
    one_per_wait_ = true;
    policy_ = [&](const Request &r) {
        send_fragment(r.index, r.seq);
        if (r.index == 0) send_fragment(r.index, r.seq);
    };
    upgrade();
    EXPECT_NE(std::string::npos, trace().find("#*"));
    EXPECT_EQ(flashed_image(), flashed_);
    EXPECT_TRUE(sigterm_sent());
}

TEST_F(Upgrade, BadFragmentRepliesAreDroppedAndTheirSlotKeepsWaiting) {
    struct Case {
        const char *what;
        std::function<void(FakeServer *, const Request &)> bad;
        const char *trace;
    } cases[] = {
        {"from another address",
         [](FakeServer *t, const Request &r) {
             int other = socket(AF_INET, SOCK_DGRAM, 0);
             sockaddr_in from{};
             from.sin_family = AF_INET;
             from.sin_addr.s_addr = htonl(0x7F000002);  // 127.0.0.2
             ASSERT_EQ(0, bind(other, reinterpret_cast<sockaddr *>(&from), sizeof from));
             std::vector<uint8_t> b = reply(r.index, r.seq, std::vector<uint8_t>(1024, 0xEE));
             sendto(other, b.data(), b.size(), 0, reinterpret_cast<const sockaddr *>(&t->agent),
                    sizeof t->agent);
             close(other);
         },
         "not the RCM server"},
        {"payloadlen beyond the datagram",
         [](FakeServer *t, const Request &r) {
             std::vector<uint8_t> b = reply(r.index, r.seq, std::vector<uint8_t>(1024, 0xEE));
             b.resize(b.size() - 200);
             t->send(b);
         },
         "beyond the datagram"},
        {"short fragment",
         [](FakeServer *t, const Request &r) {
             t->send(reply(r.index, r.seq, std::vector<uint8_t>(1023, 0xEE)));
         },
         "carries 1023 bytes, not 1024"},
        {"long fragment",
         [](FakeServer *t, const Request &r) {
             t->send(reply(r.index, r.seq, std::vector<uint8_t>(1025, 0xEE)));
         },
         "carries 1025 bytes, not 1024"},
        {"last fragment of the wrong length",
         [](FakeServer *t, const Request &r) {
             t->send(reply(2, r.seq, std::vector<uint8_t>(1024, 0xEE)));
         },
         "fragment 2 carries 1024 bytes, not 1014"},
        {"no data", [](FakeServer *t, const Request &r) { t->send(reply(r.index, r.seq, {})); },
         nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        image_ = image_of(3 * 1024 - 10);
        requests_.clear();
        pending_.clear();
        flashed_.clear();
        seen_ = server_.got.size();
        uint16_t victim = std::string(c.what).find("last") != std::string::npos ? 2 : 1;
        policy_ = [&](const Request &r) {
            if (r.index == victim) c.bad(&server_, r);
            send_fragment(r.index, r.seq);
        };
        upgrade();
        EXPECT_EQ(flashed_image(), flashed_);
        if (c.trace) {
            EXPECT_NE(std::string::npos, trace().find(c.trace));
        }
        EXPECT_EQ(3u, requests_.size()) << "no repeat needed: the slot still waited";
    }
}

TEST_F(Upgrade, SilentServerIsGivenUpAfterSixtySecondsAndTheSessionGoesOn) {
    image_ = image_of(20 * 1024);
    unsigned long last = 0;
    policy_ = [&](const Request &r) {
        if (r.index < 5) {
            send_fragment(r.index, r.seq);
            last = env_.now_ms();
        }
    };
    upgrade();
    unsigned long ended = env_.now_ms();
    EXPECT_GE(ended - last, 60000u);
    EXPECT_LE(ended - last, 62000u);
    std::string t = trace();
    EXPECT_NE(std::string::npos, t.find("download given up (5 of 20)"));
    EXPECT_NE(std::string::npos, t.find("do_rcm_download_firmware fail ... \n"));
    EXPECT_TRUE(mtd_argv_.empty());
    EXPECT_FALSE(sigterm_sent());
    EXPECT_FALSE(image_file_left());
    size_t repeats = 0;
    for (const Request &r : requests_)
        if (r.index == 5) ++repeats;
    EXPECT_GE(repeats, 6u);  // every 10 s for the minute
    server_.got.clear();
    run_for(4);
    EXPECT_FALSE(server_.with_oid(7).empty()) << "keepalives resume";
}

TEST_F(Upgrade, FailingMtdReturnsToTheSessionWithoutSignallingInit) {
    image_ = image_of(4 * 1024);
    mtd_status_ = 1 << 8;
    upgrade();
    EXPECT_FALSE(mtd_argv_.empty());
    EXPECT_FALSE(sigterm_sent());
    EXPECT_EQ(0, env_.reboot_waits());
    EXPECT_FALSE(image_file_left());
    server_.got.clear();
    run_for(4);
    EXPECT_FALSE(server_.with_oid(7).empty());
}

TEST_F(Upgrade, BadOrUnaffordableCommandIsNeitherAcknowledgedNorDownloaded) {
    image_ = image_of(4 * 1024);
    struct Case {
        const char *what;
        std::vector<uint8_t> payload;
        const char *trace;
    } cases[] = {
        {"payloadlen 7", std::vector<uint8_t>(7, 0), "bad upgrade command"},
        {"total 27", upgrade_payload(1, 27), "bad upgrade command"},
        {"total 7864321", upgrade_payload(7681, 7864321), "bad upgrade command"},
        {"count one too many", upgrade_payload(5, 4096), "bad upgrade command"},
        {"count one too few", upgrade_payload(3, 4096), "bad upgrade command"},
        {"count zero", upgrade_payload(0, 4096), "bad upgrade command"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        server_.got.clear();
        server_.send(FakeServer::request(0x0100, 0, 9, c.payload));
        step();
        server_.pump();
        EXPECT_TRUE(acks().empty());
        EXPECT_TRUE(server_.with_oid(6).empty());
        EXPECT_NE(std::string::npos, trace().find(c.trace));
    }
    testsupport::write_file(root_.host("/proc/meminfo"), "MemTotal: 14336 kB\nMemFree: 4 kB\n");
    server_.got.clear();
    upgrade();
    EXPECT_TRUE(acks().empty());
    EXPECT_TRUE(server_.with_oid(6).empty());
    EXPECT_NE(std::string::npos, trace().find("low memory .. \n"));
    EXPECT_TRUE(mtd_argv_.empty());
}

TEST_F(Upgrade, ImageThatFailsItsCheckNeverReachesMtd) {
    struct Case {
        const char *what;
        std::function<void(TrxBuild *)> lie;
    } cases[] = {
        {"bad magic", [](TrxBuild *b) { b->lie_magic = 0x31524448; }},
        {"bad CRC", [](TrxBuild *b) { b->lie_crc = 0x12345678; }},
        {"longer than its header", [](TrxBuild *b) { b->lie_len = 3000; }},
        {"header longer than the image", [](TrxBuild *b) { b->lie_len = 5000; }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        TrxBuild b;
        b.payloads.push_back(std::vector<uint8_t>(4000, 0x5A));
        c.lie(&b);
        image_ = trx_build(b);
        upgrade();
        EXPECT_TRUE(mtd_argv_.empty());
        EXPECT_FALSE(sigterm_sent());
        EXPECT_FALSE(image_file_left());
        EXPECT_NE(std::string::npos, trace().find("do_rcm_download_firmware fail ... \n"));
    }
}

}  // namespace
