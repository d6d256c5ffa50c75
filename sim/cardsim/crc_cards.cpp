// The simulated KPC650 and CDU cards: frames with a check value.
#include <time.h>

#include <cstdlib>

#include "sim/cardsim/cardsim.h"

namespace cardsim {

namespace {

const Bytes kKeepAlive = {0x00, 0x0C, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03};

bool is_keepalive(const Bytes &d) {
    return d.size() >= 12 && d[2] == 1 && d[8] == 0 && d[10] == 0 && d[11] == 3;
}

// The activation tool's frames (data, without check value and flag).
const Bytes kStartup = {0x4B, 0x00, 0x10, 0x04};
const Bytes kHello = {0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00,
                      0x00, 0x00, 0x00, 0x01, 0x21, 0x1B, 0x01, 0x00};
const Bytes kGetPrl = {0x00, 0x00, 0x00, 0x00, 0x2D, 0x00, 0x00, 0x04, 0x0A, 0x00, 0x00, 0x09};
const Bytes kReportHead = {0x00, 0x00, 0x00, 0x00, 0x50, 0x00, 0x00, 0x05, 0x0A, 0x00, 0x00, 0x01};
const Bytes kBye = {0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x01, 0x01};

Bytes report(int state) {
    Bytes r = kReportHead;
    r.push_back(static_cast<uint8_t>(state));
    return r;
}

long mono_ms() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000L + ts.tv_nsec / 1000000L;
}

}  // namespace

void CardSim::kpc650_frame(const Bytes &data) {
    if (is_keepalive(data)) {
        note("echo " + hex(data));
        return;
    }
    if (activation_frame(data)) return;
    send_frame(reply_echo_ ? data : reply_);
}

bool CardSim::activation_frame(const Bytes &d) {
    if (d == kStartup || d == kBye || d == report(0)) {
        send_frame(d);
    } else if (d == kHello) {
        Bytes r = d;
        r[14] = hello_byte_;
        send_frame(r);
    } else if (d == kGetPrl) {
        Bytes r = kGetPrl;
        if (prl_le_) std::swap(r[10], r[11]);
        r.push_back(0);
        r.push_back(static_cast<uint8_t>(prl_version_ >> 8));
        r.push_back(static_cast<uint8_t>(prl_version_));
        send_frame(r);
    } else if (d == report(1)) {  // start activation: the reports follow
        if (!otasp_never_) {
            otasp_queue_ = otasp_states_;
            otasp_due_ms_ = mono_ms() + otasp_every_ms_;
        }
    } else {
        return false;
    }
    return true;
}

void CardSim::send_reports_due() {
    // The rest of a split frame goes out before the next report.
    while (tail_.empty() && !otasp_queue_.empty() && master_ >= 0 && otasp_due_ms_ <= mono_ms()) {
        if (otasp_glue_ && otasp_queue_.size() == 2) {
            Bytes raw;
            for (int state : otasp_queue_) {
                Bytes f = stuff(report(state));
                raw.insert(raw.end(), f.begin(), f.end());
                note("otasp " + std::to_string(state));
            }
            otasp_queue_.clear();
            write_raw(raw);
            return;
        }
        int state = otasp_queue_.front();
        otasp_queue_.erase(otasp_queue_.begin());
        note("otasp " + std::to_string(state));
        send_frame(report(state));
        otasp_due_ms_ += otasp_every_ms_;
    }
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
    } else if (family_ == Family::kKpc650 && cmd == "otasp" && w.size() >= 2) {
        if (w[1] == "never") {
            otasp_never_ = true;
        } else if (w[1] == "glue") {
            otasp_glue_ = true;
        } else if (w[1] == "every" && w.size() >= 3) {
            otasp_every_ms_ = atol(w[2].c_str());
        } else {
            otasp_states_.clear();
            for (size_t i = 1; i < w.size(); ++i)
                otasp_states_.push_back(atoi(w[i].c_str()));
        }
    } else if (family_ == Family::kKpc650 && cmd == "hello" && w.size() >= 2) {
        if (!parse_hex(w[1], &b) || b.size() != 1) return "hello takes one byte";
        hello_byte_ = b[0];
    } else if (family_ == Family::kKpc650 && cmd == "prl" && w.size() >= 3) {
        if (w[2] != "be" && w[2] != "le") return "prl N be|le";
        prl_version_ = static_cast<uint16_t>(atoi(w[1].c_str()));
        prl_le_ = w[2] == "le";
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
