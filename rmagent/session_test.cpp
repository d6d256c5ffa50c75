// The session state machine against a fake server and a fake clock: registration and its
// resends, batches, keepalives, log reports with their retransmissions, acknowledgements.
#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include "common/bytes.h"
#include "platform/nvram.h"
#include "rmagent/agent_fixture.h"
#include "rmagent/protocol.h"
#include "rmagent/timers.h"
#include "sim/syslog_ring_writer.h"

namespace {

using SessionTest = AgentTest;

TEST_F(SessionTest, RegisterRecordCarriesEveryFieldAndTheWanAddressReversed) {
    set_nvram("wan0_ipaddr", "10.1.2.3");
    strcpy(s_->serial, "SN0123456789");
    strcpy(s_->fw_version, "1.2.3");
    strcpy(s_->product_model, "CR-100");
    strcpy(s_->domain, "example.net");
    open_session();
    ASSERT_FALSE(server_.got.empty());
    const std::vector<uint8_t> &r = server_.got[0].bytes;
    ASSERT_EQ(236u, r.size());
    const uint8_t head[36] = {0,   0,   0,   0,   0,   0,   0,   0,   0,   1,    0,   0,
                              'S', 'N', '0', '1', '2', '3', '4', '5', '6', '7',  '8', '9',
                              0,   0,   0,   0,   0,   1,   0,   0,   0,   0x6B, 0,   200};
    EXPECT_EQ(0, memcmp(head, r.data(), 36));
    EXPECT_EQ(1000u, get_be32(r.data() + 36));
    const uint8_t wan[4] = {0x03, 0x02, 0x01, 0x0A};
    EXPECT_EQ(0, memcmp(wan, r.data() + 40, 4));
    EXPECT_EQ("example.net", std::string(reinterpret_cast<const char *>(r.data() + 44)));
    EXPECT_EQ("1.2.3", std::string(reinterpret_cast<const char *>(r.data() + 108)));
    EXPECT_EQ("CR-100", std::string(reinterpret_cast<const char *>(r.data() + 172)));
}

TEST_F(SessionTest, ReplyWithForeignOidAndKindRegistersAndItsIdIsAdopted) {
    server_.reply_oid = 0x4242;
    server_.reply_kind = 9;
    open_session();
    EXPECT_NE(std::string::npos, trace().find("Begin to connect to RCM server ... OK"));
    std::vector<Datagram> batches = server_.with_oid(3);
    ASSERT_FALSE(batches.empty());
    EXPECT_EQ(0, memcmp(server_.session_id, batches[0].bytes.data(), 8));
    EXPECT_EQ(0, memcmp(server_.session_id, s_->session_id, 8));
    EXPECT_NE(nullptr, rcm_keepalive.next);  // the established session's timers run
}

TEST_F(SessionTest, SilentServerGetsTheSameRegisterRequestEveryTwoSeconds) {
    server_.silent = true;
    int waits = 0;
    unsigned long start = env_.now_ms();
    on_wait = [&] {
        if (++waits == 2) server_.silent = false;
    };
    open_session();
    std::vector<Datagram> reg = server_.with_oid(1);
    ASSERT_EQ(3u, reg.size());
    EXPECT_EQ(reg[0].bytes, reg[2].bytes);
    EXPECT_EQ(start + 4000, env_.now_ms()) << "two time-outs of 2 seconds";
    std::string t = trace();
    EXPECT_NE(std::string::npos, t.find("timeout .... \ntimeout .... \nOK"));
}

TEST_F(SessionTest, ReplyWithAnotherSeqOrFromAnotherHostIsNotTheReply) {
    int waits = 0;
    server_.silent = true;
    on_wait = [&] {
        if (++waits != 1) return;
        server_.send(FakeServer::request(1, 1, 77));  // wrong seq
        int other = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in from{};
        from.sin_family = AF_INET;
        inet_pton(AF_INET, "127.0.0.2", &from.sin_addr);
        if (bind(other, reinterpret_cast<sockaddr *>(&from), sizeof from) == 0) {
            std::vector<uint8_t> fake = FakeServer::request(1, 1, 0);
            sendto(other, fake.data(), fake.size(), 0,
                   reinterpret_cast<const sockaddr *>(&server_.agent), sizeof server_.agent);
        }
        close(other);
        server_.silent = false;
    };
    open_session();
    EXPECT_EQ(2u, server_.with_oid(1).size());  // the junk was consumed; then a time-out
    EXPECT_NE(std::string::npos, trace().find("drop packet from 127.0.0.2"));
}

TEST_F(SessionTest, BatchesFollowTheTablesAndCutAt513Bytes) {
    set_nvram("hostname", std::string(300, 'h').c_str());
    open_session();
    std::vector<Datagram> conf = server_.with_oid(3), status = server_.with_oid(4);
    ASSERT_EQ(5u, conf.size());  // three of plain keys, one wireless, one WAN
    // The first batch closes on the entry that takes it to 513 bytes or more.
    std::string first = conf[0].text();
    EXPECT_GE(first.size(), 513u);
    std::vector<std::string> e = conf[0].entries();
    EXPECT_LT(first.size() - e.back().size() - 1, 513u);
    EXPECT_EQ("console=", e[0]);
    EXPECT_EQ("hostname=" + std::string(300, 'h'), e[1]);
    EXPECT_EQ("et0macaddr=", conf[2].entries().back());
    EXPECT_EQ(0, get_be16(conf[2].bytes.data() + 36));
    EXPECT_EQ(1, get_be16(conf[3].bytes.data() + 36));  // wireless, unit 0
    EXPECT_EQ("wl_radio=", conf[3].entries()[0]);
    EXPECT_EQ(2, get_be16(conf[4].bytes.data() + 36));  // WAN
    EXPECT_EQ("wan_mode=", conf[4].entries()[0]);
    EXPECT_EQ(conf[0].payloadlen(), conf[0].text().size() + 4);
    ASSERT_EQ(4u, status.size());
    EXPECT_EQ("lan_status=", status[0].entries()[0]);
    EXPECT_EQ("wan_uptime=", status[1].entries()[0]);
    EXPECT_EQ(std::vector<std::string>{"lan_lease_maxunit=0"}, status[2].entries());
    EXPECT_EQ(std::vector<std::string>{"wl0_sta_maxunit=0"}, status[3].entries());
    for (const Datagram &d : conf)
        EXPECT_EQ(0u, d.seq());
}

TEST_F(SessionTest, UnansweredBatchIsSentFourTimesThenRegistrationRestartsAfterFiveSeconds) {
    server_.ignore = [&](const Datagram &d) {
        return d.oid() == 3 && server_.with_oid(1).size() == 1;
    };
    unsigned long start = env_.now_ms();
    open_session();
    ASSERT_EQ(2u, server_.with_oid(1).size());
    size_t sends = 0;
    for (size_t i = 1; i < server_.got.size() && server_.got[i].oid() != 1; ++i)
        sends += server_.got[i].oid() == 3;
    EXPECT_EQ(4u, sends);
    EXPECT_EQ(start + 8000 + 5000, env_.now_ms()) << "4 silent waits, then 5 seconds of sleep";
    EXPECT_NE(std::string::npos, trace().find("Begin to send config to RCM server ... timeout"));
}

TEST_F(SessionTest, KeepaliveLogAndGpsBeforeAnyAckShareOneSeqAndAnAckAdvancesIt) {
    set_nvram("gps_lat", "40.1");
    set_nvram("gps_long", "-75.2");
    open_session();
    server_.silent = true;
    const char *line = "link up";
    ASSERT_EQ(0, ring_log(&ring_, line));
    run_for(10);
    std::vector<Datagram> ka = server_.with_oid(7), log = server_.with_oid(2),
                          gps = server_.with_oid(9);
    ASSERT_FALSE(ka.empty());
    ASSERT_FALSE(log.empty());
    ASSERT_EQ(1u, gps.size());
    EXPECT_EQ(s_->seq, ka[0].seq());
    EXPECT_EQ(s_->seq, log[0].seq());
    EXPECT_EQ(s_->seq, gps[0].seq());
    EXPECT_EQ(4, gps[0].kind());
    EXPECT_EQ(std::string("lat=40.1;long=-75.2\0", 20),
              std::string(gps[0].bytes.begin() + 36, gps[0].bytes.end()));
    uint32_t before = s_->seq;
    server_.send(FakeServer::request(4, 1, 0));
    step();
    EXPECT_EQ(before + 1, s_->seq);
    EXPECT_EQ(1, s_->ready);
    server_.got.clear();
    run_for(3);
    ASSERT_FALSE(server_.with_oid(7).empty());
    EXPECT_EQ(before + 1, server_.with_oid(7)[0].seq());
}

TEST_F(SessionTest, TwelfthKeepaliveFiringWithoutAnyAckRegistersAgain) {
    open_session();
    server_.silent = true;
    server_.got.clear();
    run_for(35);
    EXPECT_EQ(11u, server_.with_oid(7).size());
    EXPECT_TRUE(server_.with_oid(1).empty());
    server_.silent = false;
    run_for(1);  // t = 36: the twelfth firing
    EXPECT_EQ(1u, server_.with_oid(1).size());
    EXPECT_NE(std::string::npos, trace().find("peer had been dead.\n"));
    EXPECT_EQ(0, s_->keepalive_misses);
}

TEST_F(SessionTest, UnackedLogReportIsResentFourTimesWithItsOwnBytesThenTheSessionRestarts) {
    open_session();
    server_.silent = true;
    server_.got.clear();
    ASSERT_EQ(0, ring_log(&ring_, "disk full"));
    unsigned long t0 = env_.now_ms(), reg_at = 0;
    on_wait = [&] {
        if (reg_at || server_.with_oid(1).empty()) return;
        reg_at = env_.now_ms();
        server_.silent = false;
    };
    std::vector<unsigned long> log_times;
    for (int i = 0; i < 40 && server_.with_oid(1).empty(); ++i) {
        size_t before = server_.with_oid(2).size();
        run_for(1);
        if (server_.with_oid(2).size() > before) log_times.push_back((env_.now_ms() - t0) / 1000);
    }
    ASSERT_EQ(5u, log_times.size());
    EXPECT_EQ((std::vector<unsigned long>{1, 4, 7, 13, 22}), log_times);
    std::vector<Datagram> logs = server_.with_oid(2);
    for (const Datagram &d : logs)  // keepalives went out in between: not one replaced it
        EXPECT_EQ(logs[0].bytes, d.bytes);
    EXPECT_EQ(std::string("disk full\n\0", 11),
              std::string(logs[0].bytes.begin() + 36, logs[0].bytes.end()));
    EXPECT_EQ(34u, (reg_at - t0) / 1000);
    EXPECT_NE(std::string::npos, trace().find("peer had dead.\n"));
}

TEST_F(SessionTest, LogOkRearmsTheLogSenderAndOtherAcksLeaveTheReportRetransmitting) {
    open_session();
    server_.silent = true;
    ASSERT_EQ(0, ring_log(&ring_, "a line"));
    run_for(1);
    ASSERT_EQ(1u, server_.with_oid(2).size());
    EXPECT_EQ(nullptr, rcm_logsender.next);
    server_.send(FakeServer::request(7, 1, 0));  // keepalive OK
    step();
    EXPECT_EQ(nullptr, rcm_logsender.next);
    EXPECT_NE(nullptr, rcm_retransmit.next);
    EXPECT_EQ(0, s_->keepalive_misses);
    server_.send(FakeServer::request(2, 3, 0));  // Log OK, as kind 3
    step();
    EXPECT_NE(nullptr, rcm_logsender.next);
    EXPECT_EQ(nullptr, rcm_retransmit.next);
    EXPECT_EQ(0, s_->report_len);
    std::string t = trace();
    EXPECT_NE(std::string::npos, t.find("keepalive OK"));
    EXPECT_NE(std::string::npos, t.find("Log OK"));
}

TEST_F(SessionTest, RingLineMarkedReportedIsNotSentAgain) {
    open_session();
    ASSERT_EQ(0, ring_log(&ring_, "once"));
    run_for(5);
    ASSERT_EQ(1u, server_.with_oid(2).size());
    EXPECT_EQ('1', ring_.ring[12 + ring_head(&ring_)]);
    EXPECT_NE(std::string::npos, trace().find("nothing!"));
}

TEST_F(SessionTest, UnknownAckIsTakenLikeTheOthers) {
    open_session();
    uint32_t seq = s_->seq;
    server_.send(FakeServer::request(0x33, 1, 0));
    step();
    EXPECT_EQ(seq + 1, s_->seq);
    EXPECT_NE(std::string::npos, trace().find("unknown(0033) ACK .... \n"));
}

TEST_F(SessionTest, GpsIntervalReadsNvramWithAFloorOfTen) {
    struct Case {
        const char *value;
        int expected;
    } cases[] = {{nullptr, 10}, {"5", 10}, {"60", 60}, {"junk", 10}};
    for (const Case &c : cases) {
        if (c.value)
            set_nvram("gps_send_interval", c.value);
        else
            EXPECT_EQ(0, nvram_unset("gps_send_interval"));
        rcm_read_gps_interval();
        EXPECT_EQ(c.expected, gps_send_interval) << (c.value ? c.value : "unset");
    }
}

}  // namespace
