// A capture file written by a test from the exact bytes a client sent and received: each
// message wrapped in an IPv4 and a UDP or TCP header made up here (pcap link type 101, raw
// IPv4), so a packet analyser decodes it as it would a capture taken on the LAN. Written apart
// from the simulators' own encoder, so a test does not check that code against itself.
// Test code only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

struct IpEnd {
    uint32_t addr;  // host order, e.g. 0x7F000001
    uint16_t port;
};

class IpCapture {
  public:
    IpCapture();
    void udp(const IpEnd &from, const IpEnd &to, const std::string &data);
    // A TCP segment; flags as on the wire (0x02 SYN, 0x10 ACK, 0x18 PSH|ACK, 0x11 FIN|ACK).
    void tcp(const IpEnd &from, const IpEnd &to, uint32_t seq, uint32_t ack, uint8_t flags,
             const std::string &data);
    // A raw IPv4 packet, as given.
    void packet(const std::vector<uint8_t> &ip);
    // The whole file so far.
    const std::string &file() const { return file_; }

  private:
    void ip(const IpEnd &from, const IpEnd &to, uint8_t proto, const std::vector<uint8_t> &l4);
    std::string file_;
    uint16_t id_ = 1;
    unsigned long long ms_ = 1000;
};

// One TCP connection in a capture: the three-way handshake on construction, then each side's
// data as one segment with the sequence numbers running on, then the close.
class TcpFlow {
  public:
    TcpFlow(IpCapture &cap, const IpEnd &client, const IpEnd &server);
    void client_sends(const std::string &data);
    void server_sends(const std::string &data);
    void close();

  private:
    IpCapture &cap_;
    IpEnd client_, server_;
    uint32_t client_seq_ = 1000, server_seq_ = 50000;
};

}  // namespace testsupport
