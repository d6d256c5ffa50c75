#include "sim/diagcard/card_config.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "common/bytes.h"
#include "sim/diagcard/card_frames.h"

namespace {

constexpr const char *kTargetNames[kTargetCount] = {
    "version",      "devinfo", "events",          "gps-start", "gps-end",  "gps-config",
    "gps-position", "nv-read", "nv-write",        "spc",       "lock",     "prl",
    "mode",         "status",  "status-snapshot", "snapshot",  "cm-state", "hdr-state",
    "rssi",         "eri",     "build-id",        "ta-graph",  "fer",      "network-time",
    "prl-version",  "sms",     "origination",     "iota",      "oma",      "log-config",
    "other",
};

bool fail(std::string *error, const std::string &why) {
    *error = why;
    return false;
}

bool parse_number(const std::string &text, long long min, long long max, long long *out) {
    if (text.empty()) return false;
    char *end = nullptr;
    long long v = strtoll(text.c_str(), &end, 0);
    if (*end || v < min || v > max) return false;
    *out = v;
    return true;
}

bool parse_target(const std::string &name, CardTarget *out) {
    for (int t = 0; t < kTargetCount; ++t)
        if (name == kTargetNames[t]) {
            *out = static_cast<CardTarget>(t);
            return true;
        }
    return false;
}

// One key=value of a "position" line, stored in the raw record as the card sends it.
bool set_position_field(uint8_t *p, const std::string &key, const std::string &value) {
    long long v;
    if (key == "latdeg" || key == "londeg") {
        char *end = nullptr;
        double deg = strtod(value.c_str(), &end);
        if (*end || value.empty() || std::fabs(deg) > 180) return false;
        auto raw = static_cast<int32_t>(std::lround(deg * (1 << 25) / 180.0));
        put_le32(p + (key == "latdeg" ? 0 : 4), static_cast<uint32_t>(raw));
        return true;
    }
    struct Field {
        const char *name;
        size_t offset;
        int size;  // 1, 2 or 4 bytes
        long long min, max;
    };
    static const Field kFields[] = {
        {"lat", 0, 4, INT32_MIN, INT32_MAX},
        {"lon", 4, 4, INT32_MIN, INT32_MAX},
        {"time", 8, 4, 0, UINT32_MAX},
        {"angle", 12, 1, 0, 255},
        {"along", 13, 1, 0, 255},
        {"perp", 14, 1, 0, 255},
        {"vflag", 15, 1, 0, 255},
        {"mask", 16, 4, 0, UINT32_MAX},
        {"alt", 20, 2, 0, 65535},
        {"heading", 22, 2, 0, 65535},
        {"hspeed", 24, 2, 0, 65535},
        {"vspeed", 26, 1, -128, 127},
        {"vunc", 27, 1, 0, 255},
        {"reserved", 28, 4, 0, UINT32_MAX},
    };
    if (key == "altm") {  // metres: the card adds 500
        if (!parse_number(value, -500, 65035, &v)) return false;
        put_le16(p + 20, static_cast<uint16_t>(v + 500));
        return true;
    }
    for (const Field &f : kFields) {
        if (key != f.name) continue;
        if (!parse_number(value, f.min, f.max, &v)) return false;
        if (f.size == 1) p[f.offset] = static_cast<uint8_t>(v);
        if (f.size == 2) put_le16(p + f.offset, static_cast<uint16_t>(v));
        if (f.size == 4) put_le32(p + f.offset, static_cast<uint32_t>(v));
        return true;
    }
    return false;
}

bool set_behaviour(CardBehaviour *b, std::istringstream &in, std::string *error) {
    std::string mode, arg;
    in >> mode >> arg;
    long long v = 0;
    CardBehaviour next;
    if (mode == "normal") {
        next.mode = CardBehaviour::kNormal;
    } else if (mode == "silent") {
        next.mode = CardBehaviour::kSilent;
    } else if (mode == "corrupt") {
        next.mode = CardBehaviour::kCorrupt;
    } else if (mode == "glue") {
        next.mode = CardBehaviour::kGlue;
    } else if (mode == "split-escape") {
        next.mode = CardBehaviour::kSplitEscape;
    } else if (mode == "error" && parse_number(arg, 0, 255, &v) && card_is_error_code(v)) {
        next.mode = CardBehaviour::kError;
        next.error_code = static_cast<uint8_t>(v);
    } else if (mode == "truncate" && parse_number(arg, 0, 4096, &v)) {
        next.mode = CardBehaviour::kTruncate;
        next.amount = static_cast<size_t>(v);
    } else if (mode == "split" && parse_number(arg, 1, 4096, &v)) {
        next.mode = CardBehaviour::kSplit;
        next.amount = static_cast<size_t>(v);
    } else if (mode == "delay" && parse_number(arg, 0, 600000, &v)) {
        next.mode = CardBehaviour::kDelay;
        next.delay_ms = static_cast<int>(v);
    } else {
        return fail(error, "bad behaviour \"" + mode + (arg.empty() ? "" : " " + arg) + "\"");
    }
    *b = next;
    return true;
}

std::string rest_of(std::istringstream &in) {
    std::string rest;
    std::getline(in, rest);
    size_t start = rest.find_first_not_of(' ');
    return start == std::string::npos ? "" : rest.substr(start);
}

}  // namespace

const char *card_target_name(CardTarget t) {
    return t >= 0 && t < kTargetCount ? kTargetNames[t] : "?";
}

CardConfig::CardConfig() {
    // Model name and firmware text first; the carrier shows from byte 24 on.
    const char text[] = "SIMULATED CARD FW 1.0.0 V-CARRIER";
    std::memcpy(device_info, text, sizeof text);
}

uint8_t CardConfig::vendor_id() const {
    return model == 0xAC || model == 0xEE ? 0xFA : 0x32;
}

bool card_control(CardConfig &config, const std::string &line, CardAction *action,
                  std::string *error) {
    std::istringstream in(line);
    std::string word;
    in >> word;
    *action = CardAction{};
    long long v = 0, w = 0;
    std::string a, b;
    if (word.empty() || word[0] == '#') return true;
    if (word == "model") {
        in >> a;
        if (!parse_number(a, 0, 255, &v)) return fail(error, "model: 0-255");
        config.model = static_cast<uint8_t>(v);
    } else if (word == "firmware") {
        in >> a;
        if (!parse_number(a, 0, 65535, &v)) return fail(error, "firmware: 0-65535");
        config.firmware = static_cast<uint16_t>(v);
    } else if (word == "version-length") {
        in >> a;
        if (!parse_number(a, 1, 1000, &v)) return fail(error, "version-length: 1-1000");
        config.version_length = static_cast<size_t>(v);
    } else if (word == "devinfo") {
        std::string text = rest_of(in);
        if (text.size() > kCardDeviceInfoSize) return fail(error, "devinfo: 100 bytes at most");
        std::memset(config.device_info, 0, kCardDeviceInfoSize);
        std::memcpy(config.device_info, text.data(), text.size());
    } else if (word == "devinfo-hex") {
        std::vector<uint8_t> bytes;
        if (!card_parse_hex(rest_of(in), &bytes) || bytes.size() > kCardDeviceInfoSize)
            return fail(error, "devinfo-hex: up to 100 bytes in hex");
        std::memset(config.device_info, 0, kCardDeviceInfoSize);
        std::memcpy(config.device_info, bytes.data(), bytes.size());
    } else if (word == "position") {
        uint8_t record[kCardPositionSize];
        std::memcpy(record, config.position, sizeof record);
        while (in >> a) {
            size_t eq = a.find('=');
            if (eq == std::string::npos ||
                !set_position_field(record, a.substr(0, eq), a.substr(eq + 1)))
                return fail(error, "position: bad field \"" + a + "\"");
        }
        std::memcpy(config.position, record, sizeof record);
    } else if (word == "gps-config") {
        in >> a >> b;
        if (!parse_number(a, 0, UINT32_MAX, &v) ||
            (!b.empty() && !parse_number(b, 0, UINT32_MAX, &w)))
            return fail(error, "gps-config: STATUS [RESULT]");
        config.gps_config_status = static_cast<uint32_t>(v);
        config.gps_config_result = static_cast<uint32_t>(w);
    } else if (word == "gps-start-result" || word == "gps-end-result") {
        in >> a;
        if (!parse_number(a, 0, UINT32_MAX, &v)) return fail(error, word + ": a 32-bit number");
        (word == "gps-start-result" ? config.gps_start_result : config.gps_end_result) =
            static_cast<uint32_t>(v);
    } else if (word == "answer") {
        CardTarget t;
        in >> a;
        if (!parse_target(a, &t)) return fail(error, "answer: unknown request kind \"" + a + "\"");
        return set_behaviour(&config.behaviour[t], in, error);
    } else if (word == "send-packet" || word == "send-raw") {
        std::vector<uint8_t> bytes;
        if (!card_parse_hex(rest_of(in), &bytes) || bytes.empty())
            return fail(error, word + ": hex bytes");
        action->kind = CardAction::kSendBytes;
        action->bytes = word == "send-raw" ? bytes : card_frame(bytes.data(), bytes.size());
    } else if (word == "send-empty") {
        action->kind = CardAction::kSendBytes;
        action->bytes = card_frame(nullptr, 0);  // the two check bytes and the flag
    } else if (word == "send-event") {
        action->kind = CardAction::kSendBytes;
        action->bytes = card_frame(card_event_report().data(), card_event_report().size());
    } else if (word == "send-log") {
        action->kind = CardAction::kSendBytes;
        action->bytes = card_frame(card_log_packet().data(), card_log_packet().size());
    } else if (word == "pull") {
        action->kind = CardAction::kPull;
    } else {
        bool known = false;
        std::string rest = rest_of(in);
        if (card_items_control(config.items, word, rest, &known, error)) return true;
        if (known) return false;
        if (card_records_control(config.records, word, rest, &known, error)) return true;
        if (known) return false;
        std::vector<uint8_t> report;
        if (card_async_control(config.async, word, rest, &known, error, &report)) {
            if (!report.empty()) {
                action->kind = CardAction::kSendBytes;
                action->bytes = card_frame(report.data(), report.size());
            }
            return true;
        }
        if (known) return false;
        return fail(error, "unknown command \"" + word + "\"");
    }
    return true;
}

bool card_parse_hex(const std::string &text, std::vector<uint8_t> *out) {
    out->clear();
    int hi = -1;
    for (char c : text) {
        if (c == ' ' || c == ':') continue;
        int d = (c >= '0' && c <= '9')   ? c - '0'
                : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                         : -1;
        if (d < 0) return false;
        if (hi < 0) {
            hi = d;
        } else {
            out->push_back(static_cast<uint8_t>(hi << 4 | d));
            hi = -1;
        }
    }
    return hi < 0;
}

std::string card_hex(const uint8_t *data, size_t len) {
    static const char kDigits[] = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < len; ++i) {
        s += kDigits[data[i] >> 4];
        s += kDigits[data[i] & 15];
    }
    return s;
}
