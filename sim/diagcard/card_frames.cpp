#include "sim/diagcard/card_frames.h"

namespace {

constexpr uint8_t kFlag = 0x7E;
constexpr uint8_t kEscape = 0x7D;

void put_stuffed(std::vector<uint8_t> *out, uint8_t b) {
    if (b == kFlag || b == kEscape) {
        out->push_back(kEscape);
        b ^= 0x20;
    }
    out->push_back(b);
}

}  // namespace

uint16_t card_fcs(const uint8_t *data, size_t len) {
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < len; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0x8408) : crc >> 1;
    }
    return static_cast<uint16_t>(~crc);
}

std::vector<uint8_t> card_frame(const uint8_t *packet, size_t len) {
    std::vector<uint8_t> frame;
    for (size_t i = 0; i < len; ++i)
        put_stuffed(&frame, packet[i]);
    uint16_t fcs = card_fcs(packet, len);
    put_stuffed(&frame, static_cast<uint8_t>(fcs));
    put_stuffed(&frame, static_cast<uint8_t>(fcs >> 8));
    frame.push_back(kFlag);
    return frame;
}

void CardDeframer::feed(const uint8_t *bytes, size_t len, Sink sink, void *ctx) {
    for (size_t i = 0; i < len; ++i) {
        uint8_t b = bytes[i];
        if (b == kFlag) {
            size_t n = frame_.size();
            if (escape_) {
                sink(ctx, frame_.data(), n, false);
            } else if (n >= 2 &&
                       card_fcs(frame_.data(), n - 2) == (frame_[n - 2] | frame_[n - 1] << 8)) {
                sink(ctx, frame_.data(), n - 2, true);
            } else if (n > 0) {
                sink(ctx, frame_.data(), n, false);
            }
            frame_.clear();
            escape_ = false;
        } else if (b == kEscape && !escape_) {
            escape_ = true;
        } else {
            frame_.push_back(escape_ ? b ^ 0x20 : b);
            escape_ = false;
            if (frame_.size() >= kMaxFrame) frame_.clear();
        }
    }
}

bool card_is_error_code(long long code) {
    return code == 0x13 || code == 0x14 || code == 0x15 || code == 0x18 || code == 0x42 ||
           code == 0x47;
}

const std::vector<uint8_t> &card_event_report() {
    static const std::vector<uint8_t> kReport = {0x60, 0x04, 0x00, 0x2A, 0x81, 0x34, 0x12};
    return kReport;
}

const std::vector<uint8_t> &card_log_packet() {
    static const std::vector<uint8_t> kLog = {0x10, 0x00, 0x12, 0x00, 0x12, 0x00, 0x60,
                                              0x11, 1,    2,    3,    4,    5,    6,
                                              7,    8,    0xDE, 0xAD, 0xBE, 0xEF};
    return kLog;
}
