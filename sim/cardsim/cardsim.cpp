// CardSim's core: the pty, frames in and out, faults, and the control lines every family has.
#include "sim/cardsim/cardsim.h"

#include <fcntl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>

#include "common/fcs16.h"
#include "sim/card_capture.h"

namespace cardsim {

namespace {

constexpr uint8_t kFlag = 0x7E;
constexpr uint8_t kEscape = 0x7D;
constexpr int kSplitGapMs = 1000;  // long enough that a loaded host still reads the halves apart

long now_ms() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000L + ts.tv_nsec / 1000000L;
}

}  // namespace

bool parse_family(const std::string &name, Family *family) {
    if (name == "sierra" || name == "sierra_module") {
        *family = Family::kSierra;
    } else if (name == "kpc650") {
        *family = Family::kKpc650;
    } else if (name == "cdu") {
        *family = Family::kCdu;
    } else {
        return false;
    }
    return true;
}

std::string hex(const Bytes &b) {
    static const char kDigits[] = "0123456789abcdef";
    std::string s;
    for (uint8_t c : b) {
        s += kDigits[c >> 4];
        s += kDigits[c & 15];
    }
    return s;
}

bool parse_hex(const std::string &text, Bytes *out) {
    out->clear();
    std::string digits;
    for (char c : text)
        if (c != ' ' && c != ':') digits += c;
    if (digits.size() % 2) return false;
    for (size_t i = 0; i < digits.size(); i += 2) {
        char *end = nullptr;
        std::string pair = digits.substr(i, 2);
        long v = strtol(pair.c_str(), &end, 16);
        if (*end) return false;
        out->push_back(static_cast<uint8_t>(v));
    }
    return true;
}

CardSim::CardSim(Family family) : family_(family) {
    auto be16 = [](uint16_t v) { return Bytes{uint8_t(v >> 8), uint8_t(v)}; };
    objects_[0x1000] = {0x8A, 0x1B, 0x2C, 0x3D};
    objects_[0x1001] = be16(75);
    objects_[0x1002] = Bytes{'8', '5', '8', '5', '5', '5', '0', '1', '2', '3'};
    objects_[0x1004] = be16(283);
    objects_[0x1005] = be16(1);
    objects_[0x1006] = be16(1);
    objects_[0x1009] = be16(1);
    objects_[0x1027] = be16(0);
    objects_[0x4004] = be16(38);
    objects_[0x4008] = be16(1);
    objects_[0x5001] = {0x00, 0x01, 0xC2, 0x00};
    Bytes mdn = {0x00, 0x00, 0x00, 0x0A, '8', '5', '8', '5', '5', '5', '0', '1', '2', '3'};
    arg_objects_[{0x1038, 0}] = mdn;
    arg_objects_[{0x1038, 1}] = {0x00, 0x00, 0x00, 0x00};
    Bytes imsi = {0x00, 0x00, 0x00, 0x0A, '8', '5', '8', '5', '5', '5', '0', '1', '2', '3'};
    arg_objects_[{0x1039, 0}] = imsi;
    arg_objects_[{0x1039, 1}] = {0x00, 0x00, 0x00, 0x00};
}

CardSim::~CardSim() {
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
}

bool CardSim::open_pty(std::string *error) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) < 0 || unlockpt(master_) < 0) {
        *error = "no pseudo-terminal";
        return false;
    }
    slave_path_ = ptsname(master_);
    slave_ = open(slave_path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio;
    if (slave_ < 0 || tcgetattr(slave_, &tio) < 0) {
        *error = "cannot open " + slave_path_;
        return false;
    }
    cfmakeraw(&tio);
    tcsetattr(slave_, TCSANOW, &tio);
    return true;
}

void CardSim::note(const std::string &line) {
    log_.push_back(line);
    if (log_file_) {
        fprintf(log_file_, "%s\n", line.c_str());
        fflush(log_file_);
    }
}

void CardSim::write_raw(const Bytes &raw) {
    if (master_ < 0 || raw.empty()) return;
    size_t done = 0;
    while (done < raw.size()) {
        ssize_t n = write(master_, raw.data() + done, raw.size() - done);
        if (n <= 0) return;
        if (capture_) capture_->from_card(raw.data() + done, static_cast<size_t>(n));
        done += static_cast<size_t>(n);
    }
}

void CardSim::vanish() {
    if (master_ < 0) return;
    close(master_);
    close(slave_);
    master_ = slave_ = -1;
    tail_.clear();
    note("vanished");
}

Bytes CardSim::stuff(const Bytes &decoded) const {
    Bytes data = decoded;
    if (family_ != Family::kSierra) {
        uint16_t fcs = fcs16(data.data(), data.size());
        data.push_back(static_cast<uint8_t>(fcs));
        data.push_back(static_cast<uint8_t>(fcs >> 8));
    }
    Bytes raw;
    if (family_ == Family::kSierra) raw.push_back(kFlag);
    for (uint8_t b : data) {
        if (b == kFlag || b == kEscape) {
            raw.push_back(kEscape);
            raw.push_back(b ^ 0x20);
        } else {
            raw.push_back(b);
        }
    }
    raw.push_back(kFlag);
    return raw;
}

Bytes CardSim::unstuff(const Bytes &segment) const {
    Bytes out;
    for (size_t i = 0; i < segment.size(); ++i) {
        uint8_t b = segment[i];
        if (b == kEscape && i + 1 < segment.size()) b = segment[++i] ^ 0x20;
        out.push_back(b);
    }
    return out;
}

void CardSim::send_frame(const Bytes &decoded) {
    std::string fault;
    if (fault_after_ > 0) {
        --fault_after_;
    } else if (fault_count_ > 0) {
        fault = fault_;
        --fault_count_;
        note("fault " + fault);
    }
    Bytes d = decoded;
    if (fault == "noanswer") return;
    if (fault == "vanish") return vanish();
    if (fault == "notice") {
        d = family_ == Family::kSierra
                ? Bytes{0x00, 0x0A, 0x6B, 0x00, 0x00, 0x00, 0x07,
                        0x00, 0x78, 0x56, 0x34, 0x12, 0x00, 0x00}
                : Bytes{0x00, 0x0C, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03};
    } else if (fault == "wrongtype") {
        if (family_ == Family::kSierra && d.size() > 2)
            d[2] = d[2] == 0x6B ? 0x6D : 0x6B;
        else if (!d.empty())
            d[0] ^= 0xFF;
    }
    note("sent " + hex(d));
    Bytes raw = stuff(d);
    if (fault == "badcrc" && family_ != Family::kSierra && raw.size() >= 2) {
        raw[raw.size() - 2] ^= 0x01;  // a check byte (or its escape) changed: the frame fails
        if (raw[raw.size() - 2] == kFlag) raw[raw.size() - 2] ^= 0x02;
    }
    if (fault == "short") {
        raw.resize(14);
        raw.push_back(kFlag);
    }
    if (fault == "split") {
        size_t half = raw.size() / 2;
        tail_.assign(raw.begin() + static_cast<long>(half), raw.end());
        raw.resize(half);
        tail_due_ms_ = now_ms() + kSplitGapMs;
    }
    write_raw(raw);
}

int CardSim::next_due_ms() const {
    long due = -1;
    if (!tail_.empty()) due = tail_due_ms_;
    if (!otasp_queue_.empty() && tail_.empty()) due = otasp_due_ms_;
    if (due < 0) return -1;
    long left = due - now_ms();
    return left < 0 ? 0 : static_cast<int>(left);
}

void CardSim::run_due() {
    if (!tail_.empty() && tail_due_ms_ <= now_ms()) {
        Bytes tail;
        tail.swap(tail_);
        write_raw(tail);
        note("tail");
    }
    send_reports_due();
}

void CardSim::on_readable() {
    if (master_ < 0) return;
    uint8_t buf[4096];
    ssize_t n = read(master_, buf, sizeof buf);
    if (n <= 0) return;
    if (capture_) capture_->to_card(buf, static_cast<size_t>(n));
    Bytes raw(buf, buf + n);
    note("raw " + hex(raw));
    // Frames end at a flag; the Sierra family also puts one in front (an empty segment).
    for (uint8_t b : raw) {
        if (b != kFlag) {
            segment_.push_back(b);
            continue;
        }
        if (!segment_.empty()) on_frame(segment_);
        segment_.clear();
        if (master_ < 0) return;
    }
}

void CardSim::on_frame(const Bytes &segment) {
    Bytes d = unstuff(segment);
    if (family_ == Family::kSierra) return sierra_frame(d);
    crc_frame(d);
}

void CardSim::crc_frame(const Bytes &d) {
    auto good = [](const uint8_t *p, size_t n) {
        return n >= 2 && fcs16_update(kFcs16Init, p, n) == kFcs16Good;
    };
    size_t skip = 0;
    if (!good(d.data(), d.size())) {
        if (d.size() < 3 || !good(d.data() + 1, d.size() - 1)) {
            note("bad " + hex(d));
            return;
        }
        skip = 1;  // one stray byte before the frame
        note("stray " + hex(Bytes{d[0]}));
    }
    Bytes data(d.begin() + static_cast<long>(skip), d.end() - 2);
    note("req " + hex(data));
    if (family_ == Family::kKpc650)
        kpc650_frame(data);
    else
        cdu_frame(data);
}

std::string CardSim::control(const std::string &line) {
    std::istringstream in(line);
    std::vector<std::string> w;
    std::string word;
    while (in >> word)
        w.push_back(word);
    if (w.empty() || w[0][0] == '#') return "";
    if (w[0] == "fault" && w.size() >= 2) {
        static const char *kFaults[] = {"none",   "noanswer", "short", "wrongtype",
                                        "notice", "badcrc",   "split", "vanish"};
        bool known = false;
        for (const char *f : kFaults)
            known = known || w[1] == f;
        if (!known) return "unknown fault " + w[1];
        fault_ = w[1];
        fault_count_ = w[1] == "none" ? 0 : (w.size() > 2 ? atoi(w[2].c_str()) : 1);
        fault_after_ = w.size() > 3 ? atoi(w[3].c_str()) : 0;
        return "";
    }
    if (w[0] == "vanish") {
        vanish();
        return "";
    }
    if (w[0] == "raw" && w.size() >= 2) {
        Bytes b;
        if (!parse_hex(line.substr(line.find("raw") + 3), &b)) return "bad hex";
        note("sent raw " + hex(b));
        write_raw(b);
        return "";
    }
    if (family_ == Family::kSierra) return sierra_control(w, line);
    return crc_control(w, line);
}

}  // namespace cardsim
