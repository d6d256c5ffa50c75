#include "sim/rcm_decode.h"

#include <arpa/inet.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "common/bytes.h"

namespace {

std::string field(const uint8_t *p, size_t width) {
    return std::string(reinterpret_cast<const char *>(p),
                       strnlen(reinterpret_cast<const char *>(p), width));
}

std::string hex(const uint8_t *p, size_t n) {
    std::string s;
    char b[3];
    for (size_t i = 0; i < n; ++i) {
        snprintf(b, sizeof b, "%02x", p[i]);
        s += b;
    }
    return s;
}

// NUL-separated strings of a payload.
std::vector<std::string> strings(const uint8_t *p, size_t n) {
    std::vector<std::string> out;
    for (size_t i = 0; i < n;) {
        size_t len = strnlen(reinterpret_cast<const char *>(p + i), n - i);
        if (len) out.emplace_back(reinterpret_cast<const char *>(p + i), len);
        i += len + 1;
    }
    return out;
}

struct Printer {
    bool json;
    std::string line, body;
    void add(const char *name, const std::string &value) {
        if (json)
            line += "," + json_quote(name) + ":" + json_quote(value);
        else
            line += std::string(" ") + name + "=" + value;
    }
    void add(const char *name, unsigned long value) {
        if (json)
            line += "," + json_quote(name) + ":" + std::to_string(value);
        else
            line += std::string(" ") + name + "=" + std::to_string(value);
    }
    void print(const char *what) {
        if (json)
            printf("{\"msg\":%s%s%s}\n", json_quote(what).c_str(), line.c_str(), body.c_str());
        else
            printf("%s%s\n%s", what, line.c_str(), body.c_str());
    }
};

void batch(Printer &p, const uint8_t *payload, size_t n) {
    if (n < 4) return;
    p.add("type", get_be16(payload));
    p.add("unit", get_be16(payload + 2));
    std::vector<std::string> entries = strings(payload + 4, n - 4);
    std::string obj;
    for (const std::string &e : entries) {
        size_t eq = e.find('=');
        std::string name = e.substr(0, eq), value = eq == std::string::npos ? "" : e.substr(eq + 1);
        if (p.json)
            obj += (obj.empty() ? "" : ",") + json_quote(name) + ":" + json_quote(value);
        else
            p.body += "    " + e + "\n";
    }
    if (p.json) p.body = ",\"vars\":{" + obj + "}";
}

}  // namespace

std::string json_quote(const std::string &text) {
    std::string q = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            q += '\\';
            q += static_cast<char>(c);
        } else if (c < 0x20) {
            char b[8];
            snprintf(b, sizeof b, "\\u%04x", c);
            q += b;
        } else {
            q += static_cast<char>(c);
        }
    }
    return q + "\"";
}

void rcm_print_event(const char *what, const std::string &detail, bool json) {
    if (json)
        printf("{\"msg\":%s,\"detail\":%s}\n", json_quote(what).c_str(),
               json_quote(detail).c_str());
    else
        printf("%s %s\n", what, detail.c_str());
}

void rcm_print_datagram(const uint8_t *buf, size_t len, const sockaddr_in &from, bool json) {
    Printer p{json, "", ""};
    if (len < 36) {
        p.add("len", len);
        p.print("short");
        return;
    }
    uint16_t oid = get_be16(buf + 28), kind = get_be16(buf + 30), plen = get_be16(buf + 34);
    size_t n = len - 36 < plen ? len - 36 : plen;
    const uint8_t *payload = buf + 36;
    p.add("seq", get_be32(buf + 24));
    p.add("serial", field(buf + 12, 12));
    p.add("session", hex(buf, 8));
    char from_text[32];
    snprintf(from_text, sizeof from_text, "%s:%d", inet_ntoa(from.sin_addr), ntohs(from.sin_port));
    p.add("from", from_text);
    if (kind == 1) {
        char o[8];
        snprintf(o, sizeof o, "0x%04x", oid);
        p.add("oid", o);
        p.add("magic", get_be16(buf + 32));
        p.add("payloadlen", plen);
        p.print("ack");
        return;
    }
    if (oid == 1 && n >= 200) {
        p.add("version", hex(buf + 8, 4));
        p.add("uptime", get_be32(payload));
        char wan[20];
        snprintf(wan, sizeof wan, "%u.%u.%u.%u", payload[7], payload[6], payload[5], payload[4]);
        p.add("wan", wan);
        p.add("domain", field(payload + 8, 64));
        p.add("fw", field(payload + 72, 64));
        p.add("model", field(payload + 136, 64));
        p.print("register");
    } else if (oid == 3 || oid == 4) {
        batch(p, payload, n);
        p.print(oid == 3 ? "config" : "status");
    } else if (oid == 2) {
        std::string text = field(payload, n), lines_json;
        size_t start = 0;
        while (start < text.size()) {
            size_t nl = text.find('\n', start);
            std::string l =
                text.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
            if (json)
                lines_json += (lines_json.empty() ? "" : ",") + json_quote(l);
            else
                p.body += "    | " + l + "\n";
            if (nl == std::string::npos) break;
            start = nl + 1;
        }
        if (json) p.body = ",\"lines\":[" + lines_json + "]";
        p.print("log");
    } else if (oid == 7) {
        p.print("keepalive");
    } else if (oid == 9) {
        p.add("text", field(payload, n));
        p.print("gps");
    } else if (oid == 6 && n >= 2) {
        p.add("index", get_be16(payload));
        p.print("fragment");
    } else {
        p.add("oid", oid);
        p.add("kind", kind);
        p.add("payloadlen", plen);
        p.print("datagram");
    }
}
