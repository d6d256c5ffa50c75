#include "sim/rcm_capture.h"

#include <time.h>

#include <cerrno>
#include <cstring>

#include "common/bytes.h"
#include "common/pcap_file.h"

namespace {

constexpr size_t kIpHeader = 20;
constexpr size_t kUdpHeader = 8;

// Ones'-complement sum of 16-bit big-endian words, carried in `sum`.
uint32_t sum16(const uint8_t *p, size_t len, uint32_t sum) {
    for (size_t i = 0; i + 1 < len; i += 2)
        sum += get_be16(p + i);
    if (len & 1) sum += static_cast<uint32_t>(p[len - 1]) << 8;
    return sum;
}

uint16_t fold(uint32_t sum) {
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(~sum);
}

}  // namespace

std::vector<uint8_t> rcm_udp_packet(const sockaddr_in &from, const sockaddr_in &to, uint16_t id,
                                    const uint8_t *data, size_t len) {
    std::vector<uint8_t> pkt(kIpHeader + kUdpHeader + len);
    uint8_t *ip = pkt.data(), *udp = ip + kIpHeader;
    ip[0] = 0x45;
    put_be16(ip + 2, static_cast<uint16_t>(pkt.size()));
    put_be16(ip + 4, id);
    put_be16(ip + 6, 0x4000);  // don't fragment
    ip[8] = 64;
    ip[9] = IPPROTO_UDP;
    memcpy(ip + 12, &from.sin_addr.s_addr, 4);  // both already in network order
    memcpy(ip + 16, &to.sin_addr.s_addr, 4);
    put_be16(ip + 10, fold(sum16(ip, kIpHeader, 0)));
    memcpy(udp, &from.sin_port, 2);
    memcpy(udp + 2, &to.sin_port, 2);
    put_be16(udp + 4, static_cast<uint16_t>(kUdpHeader + len));
    if (len) memcpy(udp + kUdpHeader, data, len);
    uint8_t pseudo[12] = {};
    memcpy(pseudo, ip + 12, 8);
    pseudo[9] = IPPROTO_UDP;
    put_be16(pseudo + 10, static_cast<uint16_t>(kUdpHeader + len));
    uint16_t check = fold(sum16(udp, kUdpHeader + len, sum16(pseudo, sizeof pseudo, 0)));
    put_be16(udp + 6, check ? check : 0xFFFF);
    return pkt;
}

RcmCapture::~RcmCapture() {
    if (file_) fclose(file_);
}

bool RcmCapture::open(const std::string &path, std::string *why) {
    file_ = fopen(path.c_str(), "wb");
    if (!file_) {
        *why = "cannot write " + path + ": " + strerror(errno);
        return false;
    }
    uint8_t header[kPcapFileHeaderSize];
    pcap_file_header(header, kPcapLinkRawIp);
    if (fwrite(header, 1, sizeof header, file_) != sizeof header || fflush(file_) != 0) {
        *why = "cannot write " + path + ": " + strerror(errno);
        fclose(file_);
        file_ = nullptr;
        return false;
    }
    return true;
}

void RcmCapture::record(const sockaddr_in &from, const sockaddr_in &to, const uint8_t *data,
                        size_t len) {
    if (!file_) return;
    std::vector<uint8_t> pkt = rcm_udp_packet(from, to, next_id_++, data, len);
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    unsigned long long ms = static_cast<unsigned long long>(ts.tv_sec) * 1000ull +
                            static_cast<unsigned long long>(ts.tv_nsec) / 1000000ull;
    uint8_t rec[kPcapRecordHeaderSize];
    pcap_record_header(rec, ms, pkt.size());
    fwrite(rec, 1, sizeof rec, file_);
    fwrite(pkt.data(), 1, pcap_captured_len(pkt.size()), file_);
    fflush(file_);
}
