// The card-link captures and their dissectors: modemd and the simulated cards (cardsim,
// diagcard) each write what passes on the port (-w), and tshark, with the Lua dissectors of
// tools/wireshark/, must decode from both files the frames the card logged as received and
// sent, with their fields named. A hand-made capture of broken frames must show each as
// malformed or with a bad check, never as a script error. tshark is required: it is installed
// by scripts/deps.sh, and its absence fails these tests.
#include <gtest/gtest.h>
#include <sys/msg.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/bytes.h"
#include "common/fcs16.h"
#include "common/msgcmd.h"
#include "common/pcap_file.h"
#include "tests/support/testsupport.h"
#include "tests/support/tshark.h"
#include "tools/modem_client.h"

namespace {

using namespace testsupport;
using Bytes = std::vector<uint8_t>;
using Row = std::vector<std::string>;

// What the tests read of each record.
const std::vector<std::string> kFields = {
    "frame.number",  "cardlink.direction",  "cardlink.framing", "cardlink.escapes",
    "cardlink.data", "cardlink.fcs.status", "_ws.malformed",    "_ws.expert.message",
    "_ws.col.Info",  "cardcns.type",        "cardcns.objid",    "cardcns.op",
    "cardcns.value", "cardcrc.command",     "cardcrc.channel",  "cardcrc.msgtype",
    "cardcrc.code",  "cardcrc.nmea",        "carddiag.cmd",     "carddiag.subsys"};

std::vector<std::string> lines_of(const std::string &text) {
    std::vector<std::string> out;
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

class CardCaptures : public ::testing::Test {
  protected:
    void SetUp() override {
        tshark_ = tshark_path();
        ASSERT_NE("", tshark_) << "tshark is not on PATH: scripts/deps.sh installs it";
        key_ = unused_ipc_key();
    }
    void TearDown() override {
        stop_child(modemd_);
        stop_child(card_);
        if (client_open_) modem_client_close(&client_);
        int q = msgget(key_, 0);
        if (q >= 0) msgctl(q, IPC_RMID, nullptr);
    }

    std::string at(const std::string &name) const { return root_.host("/" + name); }

    // Runs tshark with the dissectors on `pcap`; its standard output. Fails the test when
    // tshark fails or a script error shows anywhere.
    std::string tshark(const std::string &pcap, const std::vector<std::string> &args) {
        TsharkRun run = run_tshark(root_.host(""), pcap, {"card_link.lua"}, args);
        EXPECT_EQ(0, run.status) << run.err;
        for (const char *bad : {"Lua Error", "Lua:", "could not be decoded"}) {
            EXPECT_EQ(std::string::npos, run.out.find(bad)) << run.out;
            EXPECT_EQ(std::string::npos, run.err.find(bad)) << run.err;
        }
        return run.out;
    }

    // One row per record with the named fields (of kFields). Each file is decoded once.
    std::vector<Row> fields(const std::string &pcap, const std::vector<std::string> &names) {
        std::vector<Row> &all = decoded_[pcap];
        if (all.empty()) {
            std::vector<std::string> args = {"-T", "fields"};
            for (const std::string &n : kFields)
                args.insert(args.end(), {"-e", n});
            all = tshark_rows(tshark(pcap, args));
        }
        std::vector<size_t> cols;
        for (const std::string &n : names) {
            size_t c = std::find(kFields.begin(), kFields.end(), n) - kFields.begin();
            EXPECT_LT(c, kFields.size()) << n;
            cols.push_back(c);
        }
        std::vector<Row> rows;
        for (const Row &r : all) {
            EXPECT_EQ(kFields.size(), r.size());
            Row picked;
            for (size_t c : cols) {
                std::string v = c < r.size() ? r[c] : "?";
                // Byte fields as plain hex, whether or not this tshark separates the bytes.
                if (kFields[c] == "cardlink.data")
                    v.erase(std::remove(v.begin(), v.end(), ':'), v.end());
                picked.push_back(v);
            }
            rows.push_back(picked);
        }
        return rows;
    }

    // The unescaped frame data of each record going `dir` ("0" to the card, "1" from it),
    // checking that each passed its check where the framing has one.
    std::vector<std::string> frames(const std::string &pcap, const std::string &dir, bool checked) {
        std::vector<std::string> out;
        for (const Row &r : fields(pcap, {"cardlink.direction", "cardlink.data",
                                          "cardlink.fcs.status", "_ws.malformed"})) {
            if (r.size() < 4 || r[0] != dir) continue;
            out.push_back(r[1]);
            EXPECT_EQ(checked ? "good" : "", r[2]) << r[1];
            EXPECT_EQ("", r[3]) << r[1];
        }
        return out;
    }

    // The card log's lines starting with `prefix`, without it.
    std::vector<std::string> logged(const std::string &prefix) const {
        std::vector<std::string> out;
        for (const std::string &l : lines_of(read_file(at("card.log"))))
            if (l.compare(0, prefix.size(), prefix) == 0) out.push_back(l.substr(prefix.size()));
        return out;
    }

    void start_cardsim(const std::string &family, const std::vector<std::string> &lines = {}) {
        std::vector<std::string> args = {"--family", family,         "-o", at("card.path"),
                                         "-l",       at("card.log"), "-c", at("card.ctl"),
                                         "-w",       at("card.pcap")};
        for (const std::string &l : lines) {
            args.push_back("-e");
            args.push_back(l);
        }
        card_ = spawn_program("cardsim", args);
        wait_port();
    }
    void start_diagcard() {
        card_ = spawn_program("diagcard",
                              {"-o", at("card.path"), "-r", at("card.rec"), "-w", at("card.pcap")});
        wait_port();
    }
    void wait_port() {
        ASSERT_TRUE(wait_until([&] { return !read_file(at("card.path")).empty(); }, 30000));
        port_ = read_file(at("card.path"));
        port_.erase(port_.find_last_not_of('\n') + 1);
    }
    // Tells the running cardsim a control line.
    void say(const std::string &line) {
        std::ofstream ctl(at("card.ctl"));
        ctl << line << "\n";
    }

    // Starts modemd with a capture and waits until it serves its queue.
    void start_modemd(const std::string &family, const std::string &capture = "") {
        SpawnOptions o;
        o.stdout_path = at("modemd.out");
        o.env = {"MODEMD_QUEUE_KEY=" + std::to_string(key_)};
        modemd_ = spawn_program(
            "modemd",
            {"-w", capture.empty() ? at("modemd.pcap") : capture, "-t", family, "-f", port_}, o);
        ASSERT_TRUE(wait_until([&] { return msgget(key_, 0) >= 0; }, 60000));
        ASSERT_EQ(0, modem_client_open(&client_, key_));
        client_open_ = true;
        ModemReply r;
        ASSERT_TRUE(wait_until(
            [&] {
                return modem_client_call(&client_, 999, nullptr, 0, 1, &r) == 0 &&
                       r.result == kResultNoHandler;
            },
            60000))
            << read_file(at("modemd.out"));
    }
    ModemReply call(uint16_t cmd) {
        ModemReply r{};
        r.result = 99;
        EXPECT_EQ(0, modem_client_call(&client_, cmd, nullptr, 0, 60, &r)) << cmd;
        return r;
    }
    // Ends both programs, so both captures are complete.
    void stop_both() {
        stop_child(modemd_);
        stop_child(card_);
        modemd_ = card_ = -1;
    }
    // Both ends wrote the same frames, each direction in the same order.
    void expect_both_ends_agree(bool checked) {
        for (const char *dir : {"0", "1"})
            EXPECT_EQ(frames(at("card.pcap"), dir, checked),
                      frames(at("modemd.pcap"), dir, checked))
                << "direction " << dir;
    }

    TempRouterRoot root_;
    std::string tshark_;
    int key_ = -1;
    pid_t card_ = -1;
    pid_t modemd_ = -1;
    std::string port_;
    ModemClient client_{};
    bool client_open_ = false;
    std::map<std::string, std::vector<Row>> decoded_;
};

TEST_F(CardCaptures, SierraCnsFramesDecodeAsTheCardReceivedAndSentThemWithObjectsNamed) {
    start_cardsim("sierra");
    start_modemd("sierra_module");
    EXPECT_EQ(kResultOk, call(1).result);
    say("notify heartbeat");
    ASSERT_TRUE(wait_until(
        [&] {
            return read_file(root_.host("/dev/console")).find("Heardbeat") != std::string::npos;
        },
        30000));
    stop_both();

    EXPECT_EQ(logged("req "), frames(at("card.pcap"), "0", false));
    EXPECT_EQ(logged("sent "), frames(at("card.pcap"), "1", false));
    expect_both_ends_agree(false);

    std::vector<Row> rows =
        fields(at("modemd.pcap"), {"cardlink.direction", "cardlink.framing", "cardcns.type",
                                   "cardcns.objid", "cardcns.op", "cardcns.value", "_ws.col.Info"});
    auto has = [&](const Row &want) {
        for (const Row &r : rows)
            if (r == want) return true;
        return false;
    };
    EXPECT_TRUE(has({"0", "1", "0x2b", "0x1000", "1", "", "CnS get ESN (0x1000)"}));
    EXPECT_TRUE(has({"1", "1", "0x6b", "0x1000", "2", "2317036605",
                     "CnS get answer ESN (0x1000) = 0x8a1b2c3d"}));
    EXPECT_TRUE(
        has({"0", "1", "0x2b", "0x0000", "8", "", "CnS notification disable heartbeat (0x0000)"}));
    EXPECT_TRUE(has({"1", "1", "0x6b", "0x0000", "7", "",
                     "CnS notification (operation 7) heartbeat (0x0000)"}));
}

TEST_F(CardCaptures, Kpc650FramesHaveEscapesRemovedAndTheirCheckVerifiedGoodOrBad) {
    start_cardsim("kpc650");
    start_modemd("kpc650");
    say("keepalive");
    // modemd takes one read for one frame: the next frame goes only once this one is answered.
    ASSERT_TRUE(wait_until([&] { return logged("echo ").size() == 1; }, 30000));
    // Data with both bytes that need an escape, then a keep-alive whose check is spoilt, which
    // modemd drops.
    say("frame 017e7d02");
    say("fault badcrc");
    say("keepalive");
    ASSERT_TRUE(wait_until([&] { return logged("fault badcrc").size() == 1; }, 30000));
    // Both ends record the same frames: modemd has read them all when its file is as long.
    ASSERT_TRUE(wait_until(
        [&] { return read_file(at("modemd.pcap")).size() == read_file(at("card.pcap")).size(); },
        30000));
    stop_both();

    const std::vector<std::string> names = {
        "cardlink.direction", "cardlink.escapes", "cardlink.data",   "cardlink.fcs.status",
        "cardcrc.command",    "cardcrc.channel",  "cardcrc.msgtype", "_ws.expert.message"};
    std::vector<Row> from_card, to_card;
    for (const Row &r : fields(at("card.pcap"), names))
        (r[0] == "1" ? from_card : to_card).push_back(r);
    ASSERT_EQ(3u, from_card.size());
    EXPECT_EQ((Row{"1", "0", "000c01000000000000000003", "good", "1", "0", "3", ""}), from_card[0]);
    EXPECT_EQ((Row{"1", "2", "017e7d02", "good", "", "", "", ""}), from_card[1]);
    EXPECT_EQ("bad", from_card[2][3]);
    EXPECT_EQ(0u, from_card[2][7].find("FCS-16 0x")) << from_card[2][7];
    // modemd's echo of the good keep-alive, with a check value of its own making.
    EXPECT_EQ((std::vector<Row>{{"0", "0", "000c01000000000000000003", "good", "1", "0", "3", ""}}),
              to_card);
    EXPECT_EQ(logged("req "), frames(at("card.pcap"), "0", true));

    // modemd saw the same frames, the bad one included.
    std::vector<Row> theirs_from, theirs_to;
    for (const Row &r : fields(at("modemd.pcap"), names))
        (r[0] == "1" ? theirs_from : theirs_to).push_back(r);
    EXPECT_EQ(from_card, theirs_from);
    EXPECT_EQ(to_card, theirs_to);
}

TEST_F(CardCaptures, CduCommandCodesAndTheNmeaSentenceAreDecoded) {
    start_cardsim("cdu");
    start_modemd("cdu");
    EXPECT_EQ(kResultOk, call(210).result);
    stop_both();

    EXPECT_EQ(logged("req "), frames(at("card.pcap"), "0", true));
    EXPECT_EQ(logged("sent "), frames(at("card.pcap"), "1", true));
    expect_both_ends_agree(true);

    std::vector<std::string> codes, nmea;
    for (const Row &r :
         fields(at("modemd.pcap"), {"cardlink.direction", "cardcrc.code", "cardcrc.nmea"})) {
        if (r[0] == "0") codes.push_back(r[1]);
        if (!r[2].empty()) nmea.push_back(r[2]);
    }
    // The ESN at start, then the position: three GPS controls, one status poll (ready at
    // once), the last control and the sentence.
    EXPECT_EQ((std::vector<std::string>{"0x01", "0xd7", "0xd7", "0xd7", "0xd9", "0xd7", "0xd8"}),
              codes);
    EXPECT_EQ((std::vector<std::string>{
                  "$GPGGA,123519,4807.0380,N,01131.0000,E,1,08,0.9,545.4,M,46.9,M,,*47"}),
              nmea);
}

TEST_F(CardCaptures, DiagPacketsDecodeAsTheCardReceivedThemWithCommandsAndSubsystemsNamed) {
    start_diagcard();
    start_modemd("novatel");
    EXPECT_EQ(kResultOk, call(210).result);
    stop_both();

    std::vector<std::string> received;
    for (const std::string &l : lines_of(read_file(at("card.rec")))) {
        ASSERT_EQ(0u, l.compare(0, 3, "rx ")) << l;
        received.push_back(l.substr(3));
    }
    EXPECT_EQ(received, frames(at("card.pcap"), "0", true));
    EXPECT_FALSE(frames(at("card.pcap"), "1", true).empty());
    expect_both_ends_agree(true);

    std::vector<std::string> asked;
    for (const Row &r : fields(at("modemd.pcap"), {"cardlink.direction", "carddiag.cmd",
                                                   "carddiag.subsys", "_ws.col.Info"}))
        if (r[0] == "0") asked.push_back(r[1] + " " + r[2] + " " + r[3]);
    // The start (version, device information, event reports on, the GPS session) and the
    // position asked for.
    EXPECT_EQ(
        (std::vector<std::string>{
            "0x00  DIAG software version", "0x4b 0x32 DIAG vendor command 11 (device information)",
            "0x60  DIAG event report on", "0x4b 0x0d DIAG GPS command 0 (start session)",
            "0x4b 0x0d DIAG GPS command 4 (last known position)"}),
        asked);
}

TEST_F(CardCaptures, ACaptureThatCannotBeWrittenCostsOneConsoleLineAndTheCardIsServed) {
    start_cardsim("cdu");
    std::string nowhere = at("no/such/dir/modemd.pcap");
    start_modemd("cdu", nowhere);
    ModemReply r = call(1);
    EXPECT_EQ(kResultOk, r.result);
    EXPECT_EQ((std::vector<uint8_t>{0x3D, 0x2C, 0x1B, 0x8A}), Bytes(r.data, r.data + r.data_len));
    EXPECT_EQ("modemd: capture " + nowhere + ": No such file or directory: not written\n",
              read_file(root_.host("/dev/console")));
}

// ---- a hand-made capture of broken frames ----------------------------------------------

Bytes escaped(const Bytes &data) {
    Bytes out;
    for (uint8_t b : data) {
        if (b == 0x7E || b == 0x7D) {
            out.push_back(0x7D);
            out.push_back(b ^ 0x20);
        } else {
            out.push_back(b);
        }
    }
    return out;
}

Bytes with_fcs(Bytes data, uint16_t spoil = 0) {
    uint16_t fcs = fcs16(data.data(), data.size()) ^ spoil;
    data.push_back(static_cast<uint8_t>(fcs));
    data.push_back(static_cast<uint8_t>(fcs >> 8));
    return data;
}

Bytes record(uint8_t dir, uint8_t framing, const Bytes &wire) {
    Bytes r = {dir, framing};
    r.insert(r.end(), wire.begin(), wire.end());
    return r;
}

Bytes flagged(Bytes b, bool opening) {
    if (opening) b.insert(b.begin(), 0x7E);
    b.push_back(0x7E);
    return b;
}

// Writes the records; a record's original length is its length plus cut[i] (when given).
void write_capture(const std::string &path, const std::vector<Bytes> &records,
                   const std::vector<uint32_t> &cut) {
    std::ofstream f(path, std::ios::binary);
    uint8_t head[kPcapFileHeaderSize];
    pcap_file_header(head, kPcapLinkCard);
    f.write(reinterpret_cast<const char *>(head), sizeof head);
    unsigned long long ms = 0;
    for (size_t i = 0; i < records.size(); ++i) {
        const Bytes &r = records[i];
        uint8_t rh[kPcapRecordHeaderSize];
        pcap_record_header(rh, ms += 10, r.size() + (i < cut.size() ? cut[i] : 0));
        put_le32(rh + 8, static_cast<uint32_t>(r.size()));
        f.write(reinterpret_cast<const char *>(rh), sizeof rh);
        f.write(reinterpret_cast<const char *>(r.data()), static_cast<std::streamsize>(r.size()));
    }
}

TEST_F(CardCaptures, BrokenFramesShowAsMalformedOrBadCheckNeverAsScriptErrors) {
    const Bytes keepalive = {0x00, 0x0C, 0x01, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x03};
    const Bytes get_esn = {0x00, 0x0A, 0x2B, 0x00, 0x10, 0x00, 0x01,
                           0x00, 0x78, 0x56, 0x34, 0x12, 0x00, 0x00};
    const Bytes gps_position = {0x4B, 0x0D, 0x04, 0x00, 0x7E, 0x7D, 0x00, 0x00};
    Bytes long_claim = get_esn;
    long_claim[1] = 0x20;  // the header claims more than follows
    struct Case {
        Bytes rec;
        std::string fcs;  // cardlink.fcs.status
        bool malformed;
        std::string data;  // cardlink.data
        uint32_t cut = 0;  // bytes the capture left out of the record
    };
    const std::vector<Case> cases = {
        // Sound frames first, escapes in data and check value alike.
        {record(0, kPcapDiag, flagged(escaped(with_fcs(gps_position)), false)), "good", false,
         "4b0d04007e7d0000"},
        {record(0, kPcapCns, flagged(escaped(get_esn), true)), "", false,
         "000a2b0010000100785634120000"},
        // A check value one bit off.
        {record(1, kPcapKpc650, flagged(escaped(with_fcs(keepalive, 1)), false)), "bad", false,
         "000c01000000000000000003"},
        // Cut short: no closing flag, for each framing.
        {record(1, kPcapDiag, escaped(with_fcs(gps_position))), "unchecked", true, ""},
        {record(0, kPcapCns, Bytes{0x7E, 0x00, 0x0A, 0x2B}), "", true, "000a2b"},
        // CnS without its opening flag; a header that claims more than follows.
        {record(0, kPcapCns, flagged(escaped(get_esn), false)), "", true, ""},
        {record(0, kPcapCns, flagged(escaped(long_claim), true)), "", true,
         "00202b0010000100785634120000"},
        // An escape right before the closing flag (the sender voided the frame); a frame
        // shorter than its check value.
        {record(1, kPcapCdu, Bytes{0x01, 0x02, 0x03, 0x7D, 0x7E}), "unchecked", true, ""},
        {record(1, kPcapKpc650, Bytes{0x01, 0x7E}), "", true, ""},
        // A subsystem command cut inside its header (its check is good).
        {record(0, kPcapDiag, flagged(escaped(with_fcs({0x4B, 0x0D})), false)), "good", true,
         "4b0d"},
        // Records too short for the pseudo-header, or holding nothing after it.
        {Bytes{1}, "", true, ""},
        {Bytes{1, kPcapDiag}, "", true, ""},
        // A sound frame whose record lost bytes when it was captured.
        {record(0, kPcapDiag, flagged(escaped(with_fcs(gps_position)), false)), "good", true,
         "4b0d04007e7d0000", 40},
    };
    std::vector<Bytes> recs;
    std::vector<uint32_t> cut;
    for (const Case &c : cases) {
        recs.push_back(c.rec);
        cut.push_back(c.cut);
    }
    std::string pcap = at("broken.pcap");
    write_capture(pcap, recs, cut);

    std::vector<Row> rows =
        fields(pcap, {"frame.number", "cardlink.fcs.status", "_ws.malformed", "cardlink.data"});
    ASSERT_EQ(cases.size(), rows.size());
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE("record " + std::to_string(i + 1));
        EXPECT_EQ(cases[i].fcs, rows[i][1]);
        EXPECT_EQ(cases[i].malformed, !rows[i][2].empty());
        if (!cases[i].data.empty()) {
            EXPECT_EQ(cases[i].data, rows[i][3]);
        }
    }
    // The full decode of every record goes through as well.
    std::string verbose = tshark(pcap, {"-V"});
    EXPECT_NE(std::string::npos, verbose.find("FCS-16 0x"));
    EXPECT_NE(std::string::npos, verbose.find("no closing flag: the frame is cut short"));
    EXPECT_NE(std::string::npos, verbose.find("record shorter than its 2-byte pseudo-header"));
}

}  // namespace
