// The simulated Sierra card: CnS gets and sets on an object table, notifications, DIAG
// pass-through and the waiting short messages.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "sim/cardsim/cardsim.h"

namespace cardsim {

namespace {

constexpr uint8_t kNotifyOp = 7;
constexpr size_t kEnvelopeHeader = 184;

uint16_t be16(const Bytes &b, size_t at) {
    return static_cast<uint16_t>(b[at] << 8 | b[at + 1]);
}

void put16(Bytes *b, uint16_t v) {
    b->push_back(static_cast<uint8_t>(v >> 8));
    b->push_back(static_cast<uint8_t>(v));
}

Bytes header(uint8_t type, size_t len) {
    Bytes h;
    put16(&h, static_cast<uint16_t>(len));
    h.push_back(type);
    h.push_back(0);
    return h;
}

long number(const std::string &text, int base) {
    return strtol(text.c_str(), nullptr, base);
}

Bytes envelope(const std::string &sender, const std::string &text) {
    Bytes e(kEnvelopeHeader, 0);
    e[0] = 0x01;  // paraBitMask
    e[14] = static_cast<uint8_t>(sender.size());
    for (size_t i = 0; i < sender.size() && 15 + i < 153; ++i)
        e[15 + i] = static_cast<uint8_t>(sender[i]);
    e[153] = 0x01;  // msgLanguage
    const uint8_t stamp[6] = {0x25, 0x01, 0x15, 0x10, 0x30, 0x00};
    for (int i = 0; i < 6; ++i)
        e[161 + static_cast<size_t>(i)] = stamp[i];
    e.insert(e.end(), text.begin(), text.end());
    return e;
}

}  // namespace

void CardSim::sierra_frame(const Bytes &d) {
    note("req " + hex(d));
    if (d.size() < 4) return;
    Bytes body(d.begin() + 4, d.end());
    if (d[2] == 0x2D) {
        Bytes answer = diag_echo_ ? body : diag_reply_;
        Bytes frame = header(0x6D, answer.size());
        frame.insert(frame.end(), answer.begin(), answer.end());
        return send_frame(frame);
    }
    if (d[2] == 0x2B && body.size() >= 10) sierra_cns(body);
}

void CardSim::sierra_cns(const Bytes &msg) {
    uint16_t obj = be16(msg, 0);
    uint8_t op = msg[2];
    size_t plen = msg[9];
    if (plen > msg.size() - 10) plen = msg.size() - 10;
    Bytes payload(msg.begin() + 10, msg.begin() + 10 + static_cast<long>(plen));
    Bytes value;
    uint8_t answer_op = static_cast<uint8_t>(op + 1);
    if (op == 1) {
        value = sierra_get(obj, payload);
    } else if (op == 3) {
        objects_[obj] = payload;
        value = payload;
        if (obj == 0x2002 && payload.size() >= 2) {
            uint16_t id = be16(payload, 0);
            char text[16];
            snprintf(text, sizeof text, "ack %04x", id);
            note(text);
            for (SmsMessage &m : sms_)
                if (m.msgid == id) m.acked = true;
        }
    }
    Bytes cns(msg.begin(), msg.begin() + 10);
    cns[2] = answer_op;
    cns[8] = 0;
    cns[9] = static_cast<uint8_t>(value.size());
    cns.insert(cns.end(), value.begin(), value.end());
    Bytes frame = header(0x6B, cns.size());
    frame.insert(frame.end(), cns.begin(), cns.end());
    send_frame(frame);
}

Bytes CardSim::sierra_get(uint16_t obj, const Bytes &payload) {
    bool with_arg = payload.size() >= 2;
    uint16_t arg = with_arg ? be16(payload, 0) : 0;
    if (obj == 0x2000) {
        sms_cursor_ = -1;  // a reader starts over
        uint16_t waiting = 0;
        for (const SmsMessage &m : sms_)
            waiting = static_cast<uint16_t>(waiting + (m.acked ? 0 : 1));
        Bytes v;
        put16(&v, 0);
        put16(&v, waiting);
        put16(&v, 0);
        return v;
    }
    if (obj == 0x2001) {
        if (!with_arg) {
            // A plain get moves on to the next message not yet acknowledged.
            int i = sms_cursor_ + 1;
            while (i < static_cast<int>(sms_.size()) && sms_[static_cast<size_t>(i)].acked)
                ++i;
            sms_cursor_ = i;
            return sms_chunk(static_cast<size_t>(i), 0);
        }
        return sms_chunk(static_cast<size_t>(sms_cursor_ < 0 ? sms_.size() : sms_cursor_),
                         static_cast<size_t>(arg) + 1);
    }
    if (with_arg) {
        auto it = arg_objects_.find({obj, arg});
        if (it != arg_objects_.end()) return it->second;
    }
    auto it = objects_.find(obj);
    return it == objects_.end() ? Bytes{} : it->second;
}

std::vector<Bytes> CardSim::sms_chunks(const SmsMessage &m) const {
    std::vector<Bytes> pieces;
    const Bytes &a = m.assembled;
    for (size_t at = 0; at < a.size(); at += chunk_size_)
        pieces.emplace_back(a.begin() + static_cast<long>(at),
                            a.begin() + static_cast<long>(std::min(a.size(), at + chunk_size_)));
    while (pieces.size() < 2)
        pieces.emplace_back();  // a first and a last chunk at least
    return pieces;
}

Bytes CardSim::sms_chunk(size_t index, size_t chunk) {
    if (index >= sms_.size()) return {};
    const SmsMessage &m = sms_[index];
    std::vector<Bytes> pieces = sms_chunks(m);
    if (chunk >= pieces.size()) return {};
    size_t last = pieces.size() - 1;
    Bytes c;
    put16(&c, m.msgid);
    c.push_back(static_cast<uint8_t>(chunk));
    c.push_back(static_cast<uint8_t>(chunk == 0      ? m.first_pkttype
                                     : chunk == last ? last_pkttype_
                                                     : 0));
    c.push_back(static_cast<uint8_t>(last - chunk));
    c.push_back(static_cast<uint8_t>(pieces[chunk].size()));
    c.insert(c.end(), pieces[chunk].begin(), pieces[chunk].end());
    return c;
}

void CardSim::sierra_notify(uint16_t obj, const Bytes &payload) {
    Bytes cns;
    put16(&cns, obj);
    cns.push_back(kNotifyOp);
    cns.push_back(0);
    cns.insert(cns.end(), notify_id_.begin(), notify_id_.end());
    put16(&cns, static_cast<uint16_t>(payload.size()));
    cns.insert(cns.end(), payload.begin(), payload.end());
    Bytes frame = header(0x6B, cns.size());
    frame.insert(frame.end(), cns.begin(), cns.end());
    send_frame(frame);
}

std::string CardSim::sierra_control(const std::vector<std::string> &w, const std::string &line) {
    const std::string &cmd = w[0];
    Bytes b;
    if (cmd == "set" && w.size() >= 2) {
        if (!parse_hex(w.size() > 2 ? w[2] : "", &b)) return "bad hex";
        objects_[static_cast<uint16_t>(number(w[1], 16))] = b;
    } else if (cmd == "setarg" && w.size() >= 3) {
        if (!parse_hex(w.size() > 3 ? w[3] : "", &b)) return "bad hex";
        arg_objects_[{static_cast<uint16_t>(number(w[1], 16)),
                      static_cast<uint16_t>(number(w[2], 16))}] = b;
    } else if (cmd == "diag" && w.size() >= 2) {
        if (!parse_hex(w[1], &b)) return "bad hex";
        diag_echo_ = false;
        diag_reply_ = b;
    } else if (cmd == "sms" && w.size() >= 2) {
        size_t at = line.find(w[1], line.find("sms") + 3) + w[1].size();
        std::string text = at < line.size() ? line.substr(at + 1) : "";
        sms_.push_back({envelope(w[1], text), next_msgid_++});
    } else if (cmd == "smsraw" && w.size() >= 2) {
        if (!parse_hex(line.substr(line.find("smsraw") + 6), &b)) return "bad hex";
        sms_.push_back({b, next_msgid_++});
    } else if (cmd == "smsfirst" && w.size() >= 3) {
        size_t i = static_cast<size_t>(number(w[1], 10));
        if (i >= sms_.size()) return "no message " + w[1];
        sms_[i].first_pkttype = static_cast<int>(number(w[2], 16));
    } else if (cmd == "smslast" && w.size() >= 2) {
        last_pkttype_ = static_cast<int>(number(w[1], 16));
    } else if (cmd == "chunk" && w.size() >= 2) {
        long n = number(w[1], 10);
        if (n < 1 || n > 230) return "chunk size 1 to 230";
        chunk_size_ = static_cast<size_t>(n);
    } else if (cmd == "notifyid" && w.size() >= 2) {
        if (!parse_hex(w[1], &b) || b.size() != 4) return "notifyid takes 4 bytes";
        notify_id_ = b;
    } else if (cmd == "notify" && w.size() >= 2) {
        if (w[1] == "heartbeat") {
            sierra_notify(0x0000, {});
        } else if (w[1] == "sendstatus" && w.size() >= 5) {
            Bytes p;
            for (int i = 2; i < 5; ++i)
                put16(&p, static_cast<uint16_t>(number(w[static_cast<size_t>(i)], 16)));
            sierra_notify(0x2005, p);
        } else {
            if (!parse_hex(w.size() > 2 ? w[2] : "", &b)) return "bad hex";
            sierra_notify(static_cast<uint16_t>(number(w[1], 16)), b);
        }
    } else {
        return "unknown command for a sierra card: " + line;
    }
    return "";
}

}  // namespace cardsim
