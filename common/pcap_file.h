// Capture files in the classic pcap format, so that what passes on a card's port or between the
// agent and its server can be read in a packet analyser with the dissectors of
// tools/wireshark/. Pure encoding: the caller writes the bytes (one record per frame or
// datagram). Fields little-endian, microsecond timestamps.
//
//   file header (24 bytes)   magic a1b2c3d4, version 2.4, zone 0, accuracy 0, snaplen, link type
//   record header (16 bytes) seconds, microseconds, captured length, original length
//
// Link types used here:
//   kPcapLinkCard (147, the first user link type): a card link. Each record is a 2-byte
//     pseudo-header, then the frame exactly as it passed on the port (flags and escapes kept):
//       byte 0  direction: kPcapToCard or kPcapFromCard
//       byte 1  framing:   one of PcapCardFraming
//   kPcapLinkRawIp (101): an IPv4 packet, for the management protocol's datagrams.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr uint32_t kPcapLinkCard = 147;
inline constexpr uint32_t kPcapLinkRawIp = 101;
inline constexpr size_t kPcapFileHeaderSize = 24;
inline constexpr size_t kPcapRecordHeaderSize = 16;
inline constexpr uint32_t kPcapSnapLen = 65535;
inline constexpr size_t kPcapCardPseudoHeader = 2;

inline constexpr uint8_t kPcapToCard = 0;
inline constexpr uint8_t kPcapFromCard = 1;

enum PcapCardFraming : uint8_t {
    kPcapCns = 1,     // Sierra family: flag, stuffed data, flag; no check
    kPcapKpc650 = 2,  // stuffed data with FCS-16, closing flag
    kPcapCdu = 3,     // as KPC650
    kPcapDiag = 4,    // DIAG: stuffed data with FCS-16, closing flag
};

// Fills out[0..24) with the file header for `link_type`.
void pcap_file_header(uint8_t out[kPcapFileHeaderSize], uint32_t link_type);

// Fills out[0..16) with the header of a record of `len` bytes captured at `ms` milliseconds
// (any epoch: a monotonic clock gives times relative to its start). A record longer than the
// snap length is recorded cut to it, with its original length kept.
void pcap_record_header(uint8_t out[kPcapRecordHeaderSize], unsigned long long ms, size_t len);

// The bytes of a record of `len` bytes actually stored (len, at most the snap length).
constexpr size_t pcap_captured_len(size_t len) {
    return len < kPcapSnapLen ? len : kPcapSnapLen;
}
