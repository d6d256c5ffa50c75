// The management-protocol and LAN-service dissectors of tools/wireshark/, run in tshark on
// captures of the real programs: rmagent against rcmserver writing its capture, and a client
// of rmagent's LAN services whose exchange the test writes down itself. The decoded fields are
// compared with what was sent; packets cut short or otherwise broken must show as malformed
// and never as an error of the dissector's own.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/nvram.h"
#include "platform/nvram_testing.h"
#include "tests/support/ip_capture.h"
#include "tests/support/testsupport.h"
#include "tests/support/tshark.h"

namespace {

using namespace testsupport;

constexpr uint32_t kLoopback = 0x7F000001;
const char kAgg[] = "\x1f";  // between repeated values of one field in -T fields output

void executable(const std::string &path, const std::string &text) {
    write_file(path, text);
    chmod(path.c_str(), 0755);
}

// The rows of a -T fields run as maps from field name to value.
std::vector<std::map<std::string, std::string>> decode(const std::string &dir,
                                                       const std::string &pcap,
                                                       const std::vector<std::string> &fields,
                                                       const std::vector<std::string> &extra = {}) {
    // Checksums checked: a header the capture writer got wrong shows as an expert item.
    std::vector<std::string> args = {
        "-o", "ip.check_checksum:TRUE",         "-o", "udp.check_checksum:TRUE",
        "-o", "tcp.check_checksum:TRUE",        "-T", "fields",
        "-E", std::string("aggregator=") + kAgg};
    for (const std::string &f : fields)
        args.insert(args.end(), {"-e", f});
    args.insert(args.end(), extra.begin(), extra.end());
    TsharkRun run = run_tshark(dir, pcap, {"rcm.lua", "lan_services.lua"}, args);
    EXPECT_EQ(0, run.status) << run.err;
    EXPECT_EQ(std::string::npos, run.err.find("Lua")) << run.err;
    std::vector<std::map<std::string, std::string>> rows;
    for (const std::vector<std::string> &cols : tshark_rows(run.out)) {
        std::map<std::string, std::string> row;
        for (size_t i = 0; i < fields.size() && i < cols.size(); ++i)
            row[fields[i]] = cols[i];
        rows.push_back(row);
    }
    return rows;
}

std::vector<std::string> split(const std::string &text) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t at; (at = text.find(kAgg, start)) != std::string::npos; start = at + 1)
        parts.push_back(text.substr(start, at - start));
    parts.push_back(text.substr(start));
    return parts;
}

bool has(const std::string &values, const std::string &one) {
    for (const std::string &v : split(values))
        if (v == one) return true;
    return false;
}

// The first row whose `field` is `value` (an empty row when none).
std::map<std::string, std::string> row_where(
    const std::vector<std::map<std::string, std::string>> &rows, const std::string &field,
    const std::string &value) {
    for (const auto &r : rows)
        if (r.count(field) && r.at(field) == value) return r;
    return {};
}

// A management datagram's header, built here from the wire layout.
std::string rcm_header(uint32_t seq, uint16_t oid, uint16_t kind, uint16_t magic,
                       uint16_t payloadlen) {
    std::string h(36, '\0');
    h.replace(0, 8, "\x52\x43\x4d\x00\x00\x00\x00\x07", 8);
    h[9] = 1;
    h.replace(12, 12, "SN0000000042");
    for (int i = 0; i < 4; ++i)
        h[24 + i] = static_cast<char>(seq >> (24 - 8 * i));
    h[28] = static_cast<char>(oid >> 8);
    h[29] = static_cast<char>(oid);
    h[31] = static_cast<char>(kind);
    h[33] = static_cast<char>(magic);
    h[34] = static_cast<char>(payloadlen >> 8);
    h[35] = static_cast<char>(payloadlen);
    return h;
}

std::string with_payload(uint32_t seq, uint16_t oid, uint16_t kind, uint16_t magic,
                         const std::string &payload) {
    return rcm_header(seq, oid, kind, magic, static_cast<uint16_t>(payload.size())) + payload;
}

std::string padded(const std::string &text, size_t width) {
    std::string s = text;
    s.resize(width, '\0');
    return s;
}

class Dissectors : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(tshark_path().empty())
            << "tshark is not on PATH: scripts/deps.sh installs it (Debian package tshark)";
        nvram_testing_forget();
        bin_ = root_.host("/bin");
        mkdir(bin_.c_str(), 0755);
        executable(bin_ + "/killall", "#!/bin/sh\nexit 0\n");
        executable(bin_ + "/mtd", "#!/bin/sh\nexit 1\n");  // a flash that fails: back to normal
    }
    void TearDown() override {
        stop_child(agent_);
        nvram_testing_forget();
    }
    // Starts the ring writer, the server (with `server_args`) and the agent; returns once the
    // agent has registered.
    void start_session(const std::vector<std::string> &server_args,
                       const std::vector<std::string> &agent_env) {
        int key = unused_ipc_key();
        ASSERT_TRUE(ring_.start("syslogring", {"-k", std::to_string(key), "-s", "4096"},
                                root_.host("/ring.out")));
        ASSERT_TRUE(wait_until(
            [&] { return read_file(root_.host("/ring.out")).find("ready") == 0; }, 30000));
        std::vector<std::string> args = {"-j", "-p", "0", "-o", root_.host("/port")};
        args.insert(args.end(), server_args.begin(), server_args.end());
        ASSERT_TRUE(server_.start("rcmserver", args, root_.host("/server.out")));
        ASSERT_TRUE(wait_until([&] { return !read_file(root_.host("/port")).empty(); }, 30000));
        server_port_ = std::stoi(read_file(root_.host("/port")));
        SpawnOptions o;
        o.env = {"RMAGENT_PORT=0", "RMAGENT_ADDR=127.0.0.1",
                 "RMAGENT_SERVER_PORT=" + std::to_string(server_port_),
                 "RMAGENT_SYSLOG_KEY=" + std::to_string(key)};
        o.env.insert(o.env.end(), agent_env.begin(), agent_env.end());
        o.path_prefix = bin_;
        o.stderr_path = root_.host("/agent.err");
        agent_ = spawn_program("rmagent", {"-s", "127.0.0.1", "-m", "capture.example"}, o);
        ASSERT_TRUE(server_printed("\"msg\":\"register\"")) << read_file(root_.host("/agent.err"));
    }
    bool server_printed(const std::string &text) const {
        return wait_until(
            [&] { return read_file(root_.host("/server.out")).find(text) != std::string::npos; },
            60000);
    }

    TempRouterRoot root_;
    std::string bin_;
    FedProgram ring_, server_;
    pid_t agent_ = -1;
    int server_port_ = 0;
};

TEST_F(Dissectors, ManagementSessionCapturedByTheServerDecodesFieldByField) {
    ASSERT_EQ(0, nvram_set("wan0_ipaddr", "10.1.2.3"));
    ASSERT_EQ(0, nvram_set("SN", "CAP000000042"));
    ASSERT_EQ(0, nvram_set("product_model", "CR-200"));
    ASSERT_EQ(0, nvram_set("version_firmware", "2.0.1-cap"));
    ASSERT_EQ(0, nvram_set("wl0_ssid", "before"));
    const std::string pcap = root_.host("/session.pcap");
    start_session({"-w", pcap}, {"RMAGENT_DESKMGR_PORT=0", "RMAGENT_DISCOVERY_PORT=0"});
    EXPECT_TRUE(ring_.say("log dhcpd: lease granted"));
    EXPECT_TRUE(server_printed("\"lines\":[\"dhcpd: lease granted\"]"));
    EXPECT_TRUE(server_.say("config 1 0 wl_ssid=after%20push"));
    EXPECT_TRUE(server_printed("\"msg\":\"ack\",\"seq\":1000"));
    // An image of two fragments that is no firmware: fetched whole, refused, back to normal.
    write_file(root_.host("/proc/meminfo"), "MemTotal: 65536 kB\nMemFree: 32768 kB\n");
    std::string image(1500, '\0');
    for (size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<char>(i * 7);
    write_file(root_.host("/image.bin"), image);
    EXPECT_TRUE(server_.say("firmware " + root_.host("/image.bin")));
    EXPECT_TRUE(server_printed("\"msg\":\"served\""));
    EXPECT_TRUE(server_printed("\"msg\":\"keepalive\""));
    EXPECT_TRUE(server_.say("quit"));
    EXPECT_NE(-1, wait_child(server_.pid, 30000));
    server_.pid = -1;

    const std::vector<std::string> fields = {"frame.number",
                                             "rcm.message",
                                             "rcm.direction",
                                             "rcm.seq",
                                             "rcm.serial",
                                             "rcm.register.domain",
                                             "rcm.register.wan",
                                             "rcm.register.firmware",
                                             "rcm.register.model",
                                             "rcm.batch.type",
                                             "rcm.var",
                                             "rcm.var.name",
                                             "rcm.var.value",
                                             "rcm.log.line",
                                             "rcm.acked_oid",
                                             "rcm.upgrade.count",
                                             "rcm.upgrade.total",
                                             "rcm.fragment.index",
                                             "rcm.fragment.data_len",
                                             "_ws.expert.group"};
    auto rows = decode(root_.path(), pcap, fields,
                       {"-d", "udp.port==" + std::to_string(server_port_) + ",rcm"});
    ASSERT_GE(rows.size(), 10u);
    for (const auto &r : rows) {
        EXPECT_FALSE(r.at("rcm.message").empty()) << "frame " << r.at("frame.number");
        EXPECT_EQ("", r.at("_ws.expert.group")) << "frame " << r.at("frame.number");
    }

    auto reg = row_where(rows, "rcm.message", "register");
    EXPECT_EQ("agent to server", reg["rcm.direction"]);
    EXPECT_EQ("0", reg["rcm.seq"]);
    EXPECT_EQ("CAP000000042", reg["rcm.serial"]);
    EXPECT_EQ("capture.example", reg["rcm.register.domain"]);
    EXPECT_EQ("10.1.2.3", reg["rcm.register.wan"]);
    EXPECT_EQ("2.0.1-cap", reg["rcm.register.firmware"]);
    EXPECT_EQ("CR-200", reg["rcm.register.model"]);
    EXPECT_EQ("server to agent",
              row_where(rows, "rcm.message", "ack (register reply)")["rcm.direction"]);

    bool ssid_sent = false, stations_sent = false;
    for (const auto &r : rows) {
        if (r.at("rcm.message") == "configuration batch" && r.at("rcm.batch.type") == "1")
            ssid_sent = ssid_sent || has(r.at("rcm.var"), "wl_ssid=before");
        if (r.at("rcm.message") == "status batch")
            stations_sent = stations_sent || has(r.at("rcm.var"), "wl0_sta_maxunit=0");
    }
    EXPECT_TRUE(ssid_sent);
    EXPECT_TRUE(stations_sent);

    EXPECT_TRUE(
        has(row_where(rows, "rcm.message", "log report")["rcm.log.line"], "dhcpd: lease granted"));
    EXPECT_EQ("ack (Log OK)", row_where(rows, "rcm.message", "ack (Log OK)")["rcm.message"]);

    auto push = row_where(rows, "rcm.message", "configuration request");
    EXPECT_EQ("1000", push["rcm.seq"]);
    EXPECT_EQ("wl_ssid=after push", push["rcm.var"]);
    EXPECT_EQ("wl_ssid", push["rcm.var.name"]);
    EXPECT_EQ("after push", push["rcm.var.value"]);
    auto ack = row_where(rows, "rcm.message", "ack of configuration request");
    EXPECT_EQ("1000", ack["rcm.seq"]);
    EXPECT_EQ("0x0101", ack["rcm.acked_oid"]);
    EXPECT_EQ("agent to server", ack["rcm.direction"]);

    auto upgrade = row_where(rows, "rcm.message", "upgrade command");
    EXPECT_EQ("2", upgrade["rcm.upgrade.count"]);
    EXPECT_EQ("1500", upgrade["rcm.upgrade.total"]);
    std::set<std::string> asked;
    std::map<std::string, std::string> got;
    for (const auto &r : rows) {
        if (r.at("rcm.message") == "fragment request") asked.insert(r.at("rcm.fragment.index"));
        if (r.at("rcm.message") == "fragment reply")
            got[r.at("rcm.fragment.index")] = r.at("rcm.fragment.data_len");
    }
    EXPECT_EQ((std::set<std::string>{"0", "1"}), asked);
    EXPECT_EQ((std::map<std::string, std::string>{{"0", "1024"}, {"1", "476"}}), got);
    EXPECT_FALSE(row_where(rows, "rcm.message", "keepalive").empty());
}

// The received bytes of one datagram on `fd`, waiting at most 30 s.
std::string receive(int fd, size_t size) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 30000) != 1) return "";
    std::string buf(size, '\0');
    ssize_t n = recv(fd, buf.data(), buf.size(), 0);
    buf.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return buf;
}

// Reads exactly `n` bytes from a stream, waiting at most 30 s for each piece.
std::string receive_exactly(int fd, size_t n) {
    std::string all;
    while (all.size() < n) {
        std::string piece = receive(fd, n - all.size());
        if (piece.empty()) break;
        all += piece;
    }
    return all;
}

sockaddr_in loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

uint16_t local_port(int fd) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
    return ntohs(a.sin_port);
}

std::string deskmgr_request(uint16_t command) {
    std::string m("\x11\x22\x33\x44\x00\x00\x5a\x01\x00\x00\x00\x0c", 12);
    m[5] = static_cast<char>(command);
    return m;
}

// The capture carries the services' own ports (2719, 5000), as one taken on the LAN would; the
// agent under test listens on free ports.
TEST_F(Dissectors, LanServicesExchangeWithTheAgentDecodesFieldByField) {
    std::string net = root_.host("/sys/class/net/br0");
    ASSERT_EQ(0, system(("mkdir -p " + net).c_str()));
    write_file(net + "/address", "00:90:4c:0a:0b:0c\n");
    write_file(net + "/ipv4", "192.168.1.1 192.168.1.255 255.255.255.0\n");
    ASSERT_EQ(0, nvram_set("lan0_ifname", "br0"));
    ASSERT_EQ(0, nvram_set("product_model", "CR-100"));
    ASSERT_EQ(0, nvram_set("vzw_reconnect_interval", "30"));
    ASSERT_EQ(0, nvram_set("wan0_status", "down"));
    int disc = free_loopback_port(SOCK_DGRAM), desk = free_loopback_port(SOCK_STREAM);
    start_session({}, {"RMAGENT_DISCOVERY_PORT=" + std::to_string(disc),
                       "RMAGENT_DESKMGR_PORT=" + std::to_string(desk)});

    IpCapture cap;
    int u = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in to = loopback(disc);
    ASSERT_EQ(0, connect(u, reinterpret_cast<sockaddr *>(&to), sizeof to));
    std::string ask(696, '\0');
    ask[0] = '\xba';
    ask[1] = 1;
    ASSERT_EQ(696, send(u, ask.data(), ask.size(), 0));
    std::string info = receive(u, 1024);
    ASSERT_EQ(696u, info.size());
    IpEnd pc{kLoopback, local_port(u)}, router_disc{kLoopback, 2719};
    close(u);
    cap.udp(pc, router_disc, ask);
    cap.udp(router_disc, pc, info);

    int t = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    to = loopback(desk);
    ASSERT_EQ(0, connect(t, reinterpret_cast<sockaddr *>(&to), sizeof to));
    TcpFlow flow(cap, {kLoopback, local_port(t)}, {kLoopback, 5000});
    std::string replies;
    for (uint16_t command : {1, 3}) {
        std::string request = deskmgr_request(command);
        ASSERT_EQ(12, send(t, request.data(), request.size(), 0));
        std::string reply = receive_exactly(t, 16);
        ASSERT_EQ(16u, reply.size());
        flow.client_sends(request);
        flow.server_sends(reply);
        replies += reply;
    }
    close(t);
    flow.close();
    const std::string pcap = root_.host("/lan.pcap");
    write_file(pcap, cap.file());

    auto rows = decode(root_.path(), pcap,
                       {"landisc.opcode", "landisc.flags", "landisc.community", "landisc.hwaddr",
                        "landisc.lan_addr", "landisc.model", "landisc.fw_server", "landisc.fw_file",
                        "landisc.netmask", "landisc.one", "landisc.reconnect", "_ws.expert.group"},
                       {"-Y", "landisc"});
    ASSERT_EQ(2u, rows.size());
    EXPECT_EQ("", rows[0]["_ws.expert.group"]);
    EXPECT_EQ("", rows[1]["_ws.expert.group"]);
    EXPECT_EQ("1", rows[0]["landisc.opcode"]);
    auto &reply = rows[1];
    EXPECT_EQ("2", reply["landisc.opcode"]);
    EXPECT_EQ("0x24d7", reply["landisc.flags"]);
    EXPECT_EQ("*****", reply["landisc.community"]);
    EXPECT_EQ("00:90:4c:0a:0b:0c", reply["landisc.hwaddr"]);
    EXPECT_EQ("192.168.1.1", reply["landisc.lan_addr"]);
    EXPECT_EQ("CR-100", reply["landisc.model"]);
    EXPECT_EQ("172.16.0.2", reply["landisc.fw_server"]);
    EXPECT_EQ("firmware.bin", reply["landisc.fw_file"]);
    EXPECT_EQ("255.255.255.0", reply["landisc.netmask"]);
    EXPECT_EQ("1", reply["landisc.one"]);
    EXPECT_EQ("30", reply["landisc.reconnect"]);

    rows = decode(root_.path(), pcap,
                  {"deskmgr.tag", "deskmgr.command", "deskmgr.spare", "deskmgr.type",
                   "deskmgr.length", "deskmgr.result", "deskmgr.meaning", "_ws.expert.group"},
                  {"-Y", "deskmgr"});
    ASSERT_EQ(4u, rows.size());
    for (auto &r : rows)
        EXPECT_EQ("", r["_ws.expert.group"]);
    const char *expect[4][7] = {
        {"0x11223344", "1", "0x5a", "1", "12", "", ""},
        {"0x11223344", "1", "0x5a", "2", "16", "0", "done: wan0_action set"},
        {"0x11223344", "3", "0x5a", "1", "12", "", ""},
        {"0x11223344", "3", "0x5a", "2", "16", "1", "WAN link down"},
    };
    const char *names[7] = {"deskmgr.tag",    "deskmgr.command", "deskmgr.spare",  "deskmgr.type",
                            "deskmgr.length", "deskmgr.result",  "deskmgr.meaning"};
    for (size_t i = 0; i < 4; ++i)
        for (size_t j = 0; j < 7; ++j)
            EXPECT_EQ(expect[i][j], rows[i][names[j]]) << "message " << i << " " << names[j];
    // The results decoded are the ones the agent sent.
    EXPECT_EQ(0, replies[15]);
    EXPECT_EQ(1, replies[31]);
}

// Hand-made packets between the protocols' own ports.
struct Sample {
    std::string name;
    char proto;  // 'r' management (agent to server), 's' management (server to agent),
                 // 'd' discovery, 't' desktop manager
    std::string bytes;
};

std::vector<Sample> valid_samples() {
    std::string reg = padded("", 4) + std::string("\x03\x02\x01\x0a", 4) + padded("dom", 64) +
                      padded("fw", 64) + padded("model", 64);
    std::string batch =
        std::string("\x00\x02\x00\x01", 4) + std::string("wan_proto=dhcp\0x=1\0", 19);
    std::string record(696, '\0');
    record[0] = '\xba';
    record[1] = 3;
    record[2] = 0x20;
    record[3] = 0x04;
    record.replace(44, 4, "\xc0\xa8\x05\x01", 4);
    record.replace(692, 4, std::string("\x00\x00\x00\x5a", 4));
    std::string upgrade("\x00\x00\x00\x02\x00\x00\x05\xdc", 8);
    std::string fragment = std::string("\x00\x01\x00\x00", 4) + std::string(20, 'f');
    return {
        {"register", 'r', with_payload(0, 1, 0, 0x6b, reg)},
        {"status batch", 'r', with_payload(3, 4, 0, 0x6b, batch)},
        {"log report", 'r', with_payload(3, 2, 0, 0x6b, std::string("one\ntwo\0", 8))},
        {"GPS report", 'r', with_payload(3, 9, 4, 0x6b, std::string("lat=40.5;long=-74.25\0", 21))},
        // Empty names, values and coordinates: nothing to show, but no field to choke on.
        {"odd batch", 'r', with_payload(3, 3, 0, 0x6b, std::string("\0\0\0\0=x\0a=\0\0", 10))},
        {"empty GPS", 'r', with_payload(3, 9, 4, 0x6b, std::string("lat=;long=\0", 11))},
        {"fragment request", 'r', with_payload(4, 6, 2, 0x6b, std::string("\x00\x01\x00\x00", 4))},
        {"upgrade command", 's', with_payload(9, 0x100, 0, 0x2b, upgrade)},
        {"fragment reply", 's', with_payload(4, 6, 3, 0x2b, fragment)},
        {"set", 'd', record},
        {"deskmgr", 't', deskmgr_request(2)},
    };
}

// Each packet from its own client port, so that no two desktop-manager segments share a
// connection (TCP would take the later ones for retransmissions).
void add(IpCapture &cap, char proto, const std::string &bytes) {
    static uint16_t client_port = 40000;
    IpEnd agent{kLoopback, 1161}, server{kLoopback, 1162}, pc{kLoopback, ++client_port};
    if (proto == 'r') cap.udp(agent, server, bytes);
    if (proto == 's') cap.udp(server, agent, bytes);
    if (proto == 'd') cap.udp(pc, {kLoopback, 2719}, bytes);
    if (proto == 't') cap.tcp(pc, {kLoopback, 5000}, 1, 1, 0x18, bytes);
}

TEST_F(Dissectors, HandMadeMessagesDecodeAndEveryCutOneShowsMalformedNeverALuaError) {
    IpCapture cap;
    std::vector<std::string> expect_malformed;  // per frame: "1" malformed, "0" clean
    for (const Sample &s : valid_samples()) {
        add(cap, s.proto, s.bytes);
        expect_malformed.push_back("0");
        // From one byte: an empty datagram or segment is not handed to any dissector.
        for (size_t len = 1; len < s.bytes.size(); ++len) {
            add(cap, s.proto, s.bytes.substr(0, len));
            expect_malformed.push_back("1");
        }
    }
    // Broken in other ways than length.
    std::string bad_signature(696, '\0');
    bad_signature[1] = 1;
    add(cap, 'd', bad_signature);
    add(cap, 'r', rcm_header(0, 2, 0, 0x6b, 0));  // a log report without text
    add(cap, 's', rcm_header(0, 6, 3, 0x2b, 3) + std::string(3, '\0'));  // payloadlen below 5
    add(cap, 'r', rcm_header(0, 3, 0, 0x6b, 2) + "ab");                  // a batch without its head
    add(cap, 'r', with_payload(0, 3, 0, 0x6b, std::string("\0\0\0\0a=1", 7)));  // open entry
    std::string deskmgr_long = deskmgr_request(3);
    deskmgr_long[11] = 20;  // says 20 bytes, 12 sent
    add(cap, 't', deskmgr_long);
    for (int i = 0; i < 6; ++i)
        expect_malformed.push_back("1");
    const std::string pcap = root_.host("/made.pcap");
    write_file(pcap, cap.file());

    TsharkRun verbose = run_tshark(root_.path(), pcap, {"rcm.lua", "lan_services.lua"}, {"-V"});
    EXPECT_EQ(0, verbose.status) << verbose.err;
    size_t lua_error = verbose.out.find("Lua Error");
    EXPECT_EQ(std::string::npos, lua_error)
        << verbose.out.substr(lua_error < 2000 ? 0 : lua_error - 2000, 2200);
    EXPECT_EQ(std::string::npos, verbose.err.find("Lua")) << verbose.err;

    auto rows = decode(
        root_.path(), pcap,
        {"frame.number", "_ws.col.Protocol", "_ws.expert.group", "rcm.message", "rcm.gps.lat",
         "rcm.gps.long", "rcm.log.line", "rcm.var.name", "rcm.upgrade.total",
         "rcm.fragment.data_len", "landisc.lan_addr", "landisc.reconnect", "deskmgr.command"});
    ASSERT_EQ(expect_malformed.size(), rows.size());
    const std::string kMalformedGroup = "117440512";  // PI_MALFORMED
    for (size_t i = 0; i < rows.size(); ++i) {
        bool malformed = has(rows[i]["_ws.expert.group"], kMalformedGroup);
        EXPECT_EQ(expect_malformed[i] == "1", malformed)
            << "frame " << rows[i]["frame.number"] << " " << rows[i]["_ws.col.Protocol"];
    }
    auto row_of = [&](const std::string &name) {
        size_t frame = 0;
        for (const Sample &s : valid_samples()) {
            if (s.name == name) break;
            frame += s.bytes.size();
        }
        return rows[frame];
    };
    EXPECT_EQ("register", row_of("register")["rcm.message"]);
    EXPECT_EQ((std::string("wan_proto") + kAgg + "x"), row_of("status batch")["rcm.var.name"]);
    EXPECT_EQ((std::string("one") + kAgg + "two"), row_of("log report")["rcm.log.line"]);
    EXPECT_EQ("40.5", row_of("GPS report")["rcm.gps.lat"]);
    EXPECT_EQ("-74.25", row_of("GPS report")["rcm.gps.long"]);
    EXPECT_EQ((std::string("") + kAgg + "a"), row_of("odd batch")["rcm.var.name"]);
    EXPECT_EQ("", row_of("empty GPS")["rcm.gps.lat"]);
    EXPECT_EQ("GPS report", row_of("empty GPS")["rcm.message"]);
    EXPECT_EQ("fragment request", row_of("fragment request")["rcm.message"]);
    EXPECT_EQ("1500", row_of("upgrade command")["rcm.upgrade.total"]);
    EXPECT_EQ("20", row_of("fragment reply")["rcm.fragment.data_len"]);
    EXPECT_EQ("192.168.5.1", row_of("set")["landisc.lan_addr"]);
    EXPECT_EQ("90", row_of("set")["landisc.reconnect"]);
    EXPECT_EQ("2", row_of("deskmgr")["deskmgr.command"]);
}

}  // namespace
