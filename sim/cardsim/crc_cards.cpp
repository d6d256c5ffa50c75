// The simulated KPC650 and CDU cards: frames with a check value.
#include <cstdlib>

#include "sim/cardsim/cardsim.h"

namespace cardsim {

namespace {

const Bytes kKeepAlive = {0x00, 0x0C, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03};

bool is_keepalive(const Bytes &d) {
    return d.size() >= 12 && d[2] == 1 && d[8] == 0 && d[10] == 0 && d[11] == 3;
}

}  // namespace

void CardSim::kpc650_frame(const Bytes &data) {
    if (is_keepalive(data)) {
        note("echo " + hex(data));
        return;
    }
    send_frame(reply_echo_ ? data : reply_);
}

void CardSim::cdu_frame(const Bytes &data) {
    if (data.empty()) return;
    uint8_t code = data[0];
    Bytes answer = {code};
    switch (code) {
        case 0x01:
            for (int shift = 24; shift >= 0; shift -= 8)
                answer.push_back(static_cast<uint8_t>(esn_ >> shift));
            break;
        case 0xD7:
            if (data.size() >= 2 && data[1] == 0x04) gps_polls_ = 0;  // a session starts
            answer.push_back(0);
            break;
        case 0xD9: {
            ++gps_polls_;
            bool ready = gps_ready_after_ >= 0 && gps_polls_ >= gps_ready_after_;
            answer.push_back(0);
            answer.push_back(ready ? 0 : 1);
            break;
        }
        case 0xD8:
            for (char c : nmea_)
                answer.push_back(static_cast<uint8_t>(c));
            break;
        default:
            break;
    }
    send_frame(answer);
}

std::string CardSim::crc_control(const std::vector<std::string> &w, const std::string &line) {
    const std::string &cmd = w[0];
    Bytes b;
    if (cmd == "frame" && w.size() >= 2) {
        if (!parse_hex(line.substr(line.find("frame") + 5), &b)) return "bad hex";
        send_frame(b);
    } else if (family_ == Family::kKpc650 && cmd == "keepalive") {
        send_frame(kKeepAlive);
    } else if (family_ == Family::kKpc650 && cmd == "reply" && w.size() >= 2) {
        if (!parse_hex(line.substr(line.find("reply") + 5), &b)) return "bad hex";
        reply_echo_ = false;
        reply_ = b;
    } else if (family_ == Family::kCdu && cmd == "esn" && w.size() >= 2) {
        esn_ = static_cast<uint32_t>(strtoul(w[1].c_str(), nullptr, 16));
    } else if (family_ == Family::kCdu && cmd == "gps" && w.size() >= 2) {
        if (w[1] == "never")
            gps_ready_after_ = -1;
        else if (w[1] == "ready" && w.size() >= 3)
            gps_ready_after_ = atoi(w[2].c_str());
        else
            return "gps ready N | gps never";
    } else if (family_ == Family::kCdu && cmd == "nmea" && w.size() >= 2) {
        nmea_ = line.substr(line.find(w[1], line.find("nmea") + 4));
    } else {
        return "unknown command for this card: " + line;
    }
    return "";
}

}  // namespace cardsim
