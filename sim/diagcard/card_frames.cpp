#include "sim/diagcard/card_frames.h"

#include "modemd/diag/diag_crc.h"
#include "modemd/diag/diag_hdlc.h"

std::vector<uint8_t> card_frame(const uint8_t *packet, size_t len) {
    std::vector<uint8_t> raw(packet, packet + len);
    uint16_t fcs = crc_16_l_calc(raw.data(), static_cast<uint16_t>(len * 8));
    raw.push_back(static_cast<uint8_t>(fcs));
    raw.push_back(static_cast<uint8_t>(fcs >> 8));
    std::vector<uint8_t> frame(2 * raw.size() + 1);
    size_t n = diag_hdlc_encode(kDiagFlag, kDiagEscape, kDiagEscapeXor, raw.data(), frame.data(),
                                raw.size(), frame.size(), nullptr);
    frame[n++] = kDiagFlag;
    frame.resize(n);
    return frame;
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
