// The management server's capture file: every datagram it sends or takes, as an IPv4 packet
// (pcap link type 101, raw IPv4) with an IPv4 and a UDP header made up here around the bytes
// that passed, so that a packet analyser hands them to its UDP dissectors by port. Test
// equipment; one thread.
//
//   IPv4 header (20 bytes)  version 4, header length 5, no options, total length, an
//                           identification counted up per packet, don't-fragment, TTL 64,
//                           protocol 17, header checksum, source and destination addresses
//   UDP header (8 bytes)    source port, destination port, length (8 + data), checksum over
//                           the pseudo-header (0xFFFF when it sums to 0)
#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// The IPv4 packet carrying `len` bytes of `data` from `from` to `to` (addresses and ports as
// in sockaddr_in, network order), with identification `id`.
std::vector<uint8_t> rcm_udp_packet(const sockaddr_in &from, const sockaddr_in &to, uint16_t id,
                                    const uint8_t *data, size_t len);

class RcmCapture {
  public:
    RcmCapture() = default;
    ~RcmCapture();
    RcmCapture(const RcmCapture &) = delete;
    RcmCapture &operator=(const RcmCapture &) = delete;

    // Creates (truncates) `path` and writes the file header. False with `why` when it cannot.
    [[nodiscard]] bool open(const std::string &path, std::string *why);
    bool active() const { return file_ != nullptr; }
    // Appends one datagram, stamped with the wall-clock time, and flushes it, so the file is
    // whole whenever the server is stopped. Does nothing when no file is open.
    void record(const sockaddr_in &from, const sockaddr_in &to, const uint8_t *data, size_t len);

  private:
    FILE *file_ = nullptr;
    uint16_t next_id_ = 1;
};
