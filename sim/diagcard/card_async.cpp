#include "sim/diagcard/card_async.h"

#include <cstdlib>
#include <cstring>
#include <sstream>

#include "common/bytes.h"
#include "sim/diagcard/card_config.h"

namespace {

bool fail(std::string *error, const std::string &why) {
    *error = why;
    return false;
}

bool number(const std::string &t, long long min, long long max, long long *out) {
    if (t.empty()) return false;
    char *end = nullptr;
    long long v = strtoll(t.c_str(), &end, 0);
    if (*end || v < min || v > max) return false;
    *out = v;
    return true;
}

std::vector<uint8_t> header_of(const uint8_t *request, size_t body) {
    std::vector<uint8_t> p(4 + body, 0);
    std::memcpy(p.data(), request, 4);
    return p;
}

}  // namespace

bool card_event_item(const std::string &text, std::vector<uint8_t> *out, bool long_stamp) {
    size_t sep = text.find_first_of(":=");
    long long id;
    if (!number(text.substr(0, sep), 0, 4095, &id)) return false;
    std::vector<uint8_t> payload;
    bool coded = sep != std::string::npos && text[sep] == '=';
    if (sep != std::string::npos && !card_parse_hex(text.substr(sep + 1), &payload)) return false;
    if (payload.size() > 255) return false;
    unsigned code = coded || payload.size() > 2 ? 3 : static_cast<unsigned>(payload.size());
    uint16_t word = static_cast<uint16_t>(id | code << 13 | (long_stamp ? 0 : 0x8000));
    out->push_back(static_cast<uint8_t>(word));
    out->push_back(static_cast<uint8_t>(word >> 8));
    for (int i = 0; i < (long_stamp ? 8 : 2); ++i)
        out->push_back(static_cast<uint8_t>(0x10 + i));
    if (code == 3) out->push_back(static_cast<uint8_t>(payload.size()));
    out->insert(out->end(), payload.begin(), payload.end());
    return true;
}

bool card_event_report_of(const std::vector<std::string> &items, bool long_stamp,
                          std::vector<uint8_t> *report) {
    std::vector<uint8_t> body;
    for (const std::string &item : items)
        if (!card_event_item(item, &body, long_stamp)) return false;
    report->assign(
        {0x60, static_cast<uint8_t>(body.size()), static_cast<uint8_t>(body.size() >> 8)});
    report->insert(report->end(), body.begin(), body.end());
    return true;
}

bool card_async_control(CardAsync &a, const std::string &word, const std::string &rest, bool *known,
                        std::string *error, std::vector<uint8_t> *send_now) {
    *known = true;
    std::istringstream in(rest);
    std::string x, y;
    long long v;
    if (word == "sms-add") {
        in >> x >> y;
        std::vector<uint8_t> bytes;
        if (!number(x, 0, UINT32_MAX, &v) || !card_parse_hex(y, &bytes))
            return fail(error, "sms-add: INDEX HEX");
        a.sms[static_cast<uint32_t>(v)] = CardSmsMessage{bytes, 2};
        if (static_cast<uint32_t>(v) >= a.sms_next_index)
            a.sms_next_index = static_cast<uint32_t>(v) + 1;
    } else if (word == "sms-fault") {
        in >> x;
        if (x == "none")
            a.sms_fault = CardAsync::kSmsNormal;
        else if (x == "no-log")
            a.sms_fault = CardAsync::kSmsNoLog;
        else if (x == "overclaim")
            a.sms_fault = CardAsync::kSmsOverclaim;
        else if (x == "refuse")
            a.sms_fault = CardAsync::kSmsRefuse;
        else
            return fail(error, "sms-fault: none, no-log, overclaim or refuse");
    } else if (word == "activation-script") {
        std::vector<std::pair<int, std::vector<uint8_t>>> script;
        while (in >> x) {
            size_t colon = x.find(':');
            std::vector<uint8_t> report;
            if (colon == std::string::npos || !number(x.substr(0, colon), 0, 600000, &v) ||
                !card_event_report_of({x.substr(colon + 1)}, false, &report))
                return fail(error, "activation-script: MS:ID[:HEX|=HEX]...");
            script.push_back({static_cast<int>(v), report});
        }
        a.activation_script = script;
    } else if (word == "activation-cm") {
        in >> x;
        if (x == "off") {
            a.activation_sets_cm = false;
        } else {
            if (!number(x, 0, UINT32_MAX, &v)) return fail(error, "activation-cm: N or off");
            a.activation_sets_cm = true;
            a.activation_cm = static_cast<uint32_t>(v);
        }
    } else if (word == "log-read") {
        in >> x;
        if (x != "refuse" && x != "normal") return fail(error, "log-read: refuse or normal");
        a.log_read_refused = x == "refuse";
    } else if (word == "log-mask") {
        std::vector<uint8_t> bytes;
        if (!card_parse_hex(rest, &bytes) || bytes.size() > kCardLogMaskSize)
            return fail(error, "log-mask: up to 51 bytes in hex");
        std::memset(a.log_mask, 0, sizeof a.log_mask);
        std::memcpy(a.log_mask, bytes.data(), bytes.size());
    } else if (word == "send-events") {
        std::vector<std::string> items;
        bool long_stamp = false;
        while (in >> x) {
            if (x == "ts8")
                long_stamp = true;
            else
                items.push_back(x);
        }
        if (items.empty() || !card_event_report_of(items, long_stamp, send_now))
            return fail(error, "send-events: [ts8] ID[:HEX|=HEX]...");
    } else {
        *known = false;
        return false;
    }
    return true;
}

std::vector<uint8_t> card_wms_answer(CardAsync &a, const uint8_t *r, size_t len,
                                     std::vector<std::pair<int, std::vector<uint8_t>>> *after) {
    uint16_t command = get_le16(r + 2);
    auto arg = [&](size_t i) { return len >= 12 + 4 * i ? get_le32(r + 8 + 4 * i) : 0u; };
    std::vector<uint8_t> p = header_of(r, 4);
    switch (command) {
        case 0: {  // write: the message after the record's 16 fixed bytes, as received
            std::vector<uint8_t> bytes(r + (len > 20 ? 20 : len), r + len);
            a.sms[a.sms_next_index++] = CardSmsMessage{bytes, 2};
            break;
        }
        case 1:
            p[4] = a.sms.erase(arg(0)) ? 0 : 1;
            break;
        case 2:
            a.sms.clear();
            break;
        case 3: {
            p = header_of(r, 20 + 8 * a.sms.size());
            put_le32(p.data() + 4, static_cast<uint32_t>(a.sms.size()));
            size_t at = 24;
            for (const auto &m : a.sms) {
                put_le32(p.data() + at, m.first);
                put_le32(p.data() + at + 4, m.second.tag);
                at += 8;
            }
            break;
        }
        case 4: {
            auto it = a.sms.find(arg(1));
            if (it == a.sms.end() || a.sms_fault == CardAsync::kSmsRefuse) {
                p[4] = 1;
                break;
            }
            if (a.sms_fault == CardAsync::kSmsNoLog) break;
            const std::vector<uint8_t> &m = it->second.bytes;
            std::vector<uint8_t> log(16 + m.size(), 0);
            log[0] = 0x10;
            uint16_t l = static_cast<uint16_t>(12 + m.size() +
                                               (a.sms_fault == CardAsync::kSmsOverclaim ? 8 : 0));
            put_le16(log.data() + 2, l);
            put_le16(log.data() + 4, l);
            put_le16(log.data() + 6, 0x1160);
            if (!m.empty()) std::memcpy(log.data() + 16, m.data(), m.size());
            after->push_back({0, log});
            break;
        }
        case 5: {
            auto it = a.sms.find(arg(1));
            if (it == a.sms.end())
                p[4] = 1;
            else
                it->second.tag = static_cast<uint8_t>(arg(2));
            break;
        }
        default:
            p = {0x13};
            p.insert(p.end(), r, r + len);
            break;
    }
    return p;
}

std::vector<uint8_t> card_log_config_answer(CardAsync &a, const uint8_t *r, size_t len) {
    std::vector<uint8_t> p(20 + kCardLogMaskSize, 0);
    p[0] = 0x73;
    uint32_t op = len >= 8 ? get_le32(r + 4) : 0;
    put_le32(p.data() + 4, op);
    put_le32(p.data() + 12, 1);
    put_le32(p.data() + 16, 403);
    if (op == 4 && a.log_read_refused) {
        put_le32(p.data() + 8, 1);
        return p;
    }
    if (op == 3 && len >= 20 + kCardLogMaskSize) std::memcpy(a.log_mask, r + 20, kCardLogMaskSize);
    std::memcpy(p.data() + 20, a.log_mask, kCardLogMaskSize);
    return p;
}
