#include "tests/support/ip_capture.h"

#include "common/pcap_file.h"

namespace testsupport {

namespace {

void be16(std::vector<uint8_t> &v, size_t at, uint32_t x) {
    v[at] = static_cast<uint8_t>(x >> 8);
    v[at + 1] = static_cast<uint8_t>(x);
}

void be32(std::vector<uint8_t> &v, size_t at, uint32_t x) {
    be16(v, at, x >> 16);
    be16(v, at + 2, x & 0xFFFF);
}

// The Internet checksum (RFC 1071) of the bytes, with `sum` carried in.
uint16_t inet_checksum(const std::vector<uint8_t> &v, uint32_t sum) {
    for (size_t i = 0; i < v.size(); i += 2)
        sum += (uint32_t{v[i]} << 8) + (i + 1 < v.size() ? v[i + 1] : 0);
    while (sum > 0xFFFF)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(~sum);
}

uint32_t pseudo_sum(const IpEnd &from, const IpEnd &to, uint8_t proto, size_t len) {
    return (from.addr >> 16) + (from.addr & 0xFFFF) + (to.addr >> 16) + (to.addr & 0xFFFF) + proto +
           static_cast<uint32_t>(len);
}

}  // namespace

IpCapture::IpCapture() {
    uint8_t h[kPcapFileHeaderSize];
    pcap_file_header(h, kPcapLinkRawIp);
    file_.assign(reinterpret_cast<char *>(h), sizeof h);
}

void IpCapture::packet(const std::vector<uint8_t> &ip) {
    uint8_t rec[kPcapRecordHeaderSize];
    pcap_record_header(rec, ms_, ip.size());
    ms_ += 1;
    file_.append(reinterpret_cast<char *>(rec), sizeof rec);
    file_.append(ip.begin(), ip.end());
}

void IpCapture::ip(const IpEnd &from, const IpEnd &to, uint8_t proto,
                   const std::vector<uint8_t> &l4) {
    std::vector<uint8_t> h(20, 0);
    h[0] = 0x45;
    be16(h, 2, static_cast<uint32_t>(20 + l4.size()));
    be16(h, 4, id_++);
    h[8] = 64;
    h[9] = proto;
    be32(h, 12, from.addr);
    be32(h, 16, to.addr);
    be16(h, 10, inet_checksum(h, 0));
    h.insert(h.end(), l4.begin(), l4.end());
    packet(h);
}

void IpCapture::udp(const IpEnd &from, const IpEnd &to, const std::string &data) {
    std::vector<uint8_t> u(8, 0);
    u.insert(u.end(), data.begin(), data.end());
    be16(u, 0, from.port);
    be16(u, 2, to.port);
    be16(u, 4, static_cast<uint32_t>(u.size()));
    uint16_t sum = inet_checksum(u, pseudo_sum(from, to, 17, u.size()));
    be16(u, 6, sum ? sum : 0xFFFF);
    ip(from, to, 17, u);
}

void IpCapture::tcp(const IpEnd &from, const IpEnd &to, uint32_t seq, uint32_t ack, uint8_t flags,
                    const std::string &data) {
    std::vector<uint8_t> t(20, 0);
    t.insert(t.end(), data.begin(), data.end());
    be16(t, 0, from.port);
    be16(t, 2, to.port);
    be32(t, 4, seq);
    be32(t, 8, ack);
    t[12] = 5 << 4;
    t[13] = flags;
    be16(t, 14, 65535);
    be16(t, 16, inet_checksum(t, pseudo_sum(from, to, 6, t.size())));
    ip(from, to, 6, t);
}

TcpFlow::TcpFlow(IpCapture &cap, const IpEnd &client, const IpEnd &server)
    : cap_(cap), client_(client), server_(server) {
    cap_.tcp(client_, server_, client_seq_++, 0, 0x02, "");
    cap_.tcp(server_, client_, server_seq_++, client_seq_, 0x12, "");
    cap_.tcp(client_, server_, client_seq_, server_seq_, 0x10, "");
}

void TcpFlow::client_sends(const std::string &data) {
    cap_.tcp(client_, server_, client_seq_, server_seq_, 0x18, data);
    client_seq_ += static_cast<uint32_t>(data.size());
}

void TcpFlow::server_sends(const std::string &data) {
    cap_.tcp(server_, client_, server_seq_, client_seq_, 0x18, data);
    server_seq_ += static_cast<uint32_t>(data.size());
}

void TcpFlow::close() {
    cap_.tcp(client_, server_, client_seq_++, server_seq_, 0x11, "");
    cap_.tcp(server_, client_, server_seq_++, client_seq_, 0x11, "");
    cap_.tcp(client_, server_, client_seq_, server_seq_, 0x10, "");
}

}  // namespace testsupport
