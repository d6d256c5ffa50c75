#include "tools/diagctl_out.h"

#include <cstdlib>
#include <cstring>

namespace {

void json_string(FILE *f, const char *s, size_t max_len) {
    fputc('"', f);
    for (size_t i = 0; i < max_len && s[i]; ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c == '"' || c == '\\')
            fprintf(f, "\\%c", c);
        else if (c < 0x20 || c >= 0x7F)
            fprintf(f, "\\u%04x", c);
        else
            fputc(c, f);
    }
    fputc('"', f);
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

void DiagctlOut::key(const char *k) {
    if (json_) {
        fputs(open_ ? ", " : "{", out_);
        open_ = true;
        json_string(out_, k, strlen(k));
        fputs(": ", out_);
    } else {
        fprintf(out_, "%s: ", k);
    }
}

void DiagctlOut::num(const char *k, unsigned long value) {
    key(k);
    fprintf(out_, json_ ? "%lu" : "%lu\n", value);
}

void DiagctlOut::boolean(const char *k, bool value) {
    key(k);
    fputs(value ? "true" : "false", out_);
    if (!json_) fputc('\n', out_);
}

void DiagctlOut::text(const char *k, const char *s, size_t max_len) {
    key(k);
    if (json_) {
        json_string(out_, s, max_len);
    } else {
        for (size_t i = 0; i < max_len && s[i]; ++i)
            fputc(static_cast<unsigned char>(s[i]) >= 0x20 ? s[i] : '.', out_);
        fputc('\n', out_);
    }
}

void DiagctlOut::hex(const char *k, const uint8_t *bytes, size_t len) {
    key(k);
    if (json_) fputc('"', out_);
    for (size_t i = 0; i < len; ++i)
        fprintf(out_, "%02x", bytes[i]);
    fputs(json_ ? "\"" : "\n", out_);
}

void DiagctlOut::raw(const char *k, const char *json, const char *plain) {
    key(k);
    fputs(json_ ? json : plain, out_);
    if (!json_) fputc('\n', out_);
}

void DiagctlOut::finish() {
    if (json_ && open_) fputs("}\n", out_);
    open_ = false;
    fflush(out_);
}

int DiagctlOut::fail(const char *what, int status, const char *extra_key, unsigned long extra) {
    finish();
    fprintf(err_, "diagctl: %s: status %d (%s)\n", what, status, diagctl_status_name(status));
    fflush(err_);
    if (json_) {
        fputs("{\"error\": ", out_);
        json_string(out_, what, strlen(what));
        fprintf(out_, ", \"status\": %d", status);
        if (extra_key) fprintf(out_, ", \"%s\": %lu", extra_key, extra);
        fputs("}\n", out_);
        fflush(out_);
    }
    return 1;
}

const char *diagctl_status_name(int status) {
    switch (status) {
        case 0:
            return "refused";
        case 1:
            return "failed";
        case 2:
            return "bad command";
        case 3:
            return "bad parameters";
        case 4:
            return "bad length";
        case 5:
            return "bad security mode";
        case 7:
            return "timeout";
        case 8:
            return "bad argument";
        case 9:
            return "write failed";
        case 11:
            return "unexpected answer";
        case 12:
            return "wrong echo";
        case 13:
            return "no room";
        case 21:
            return "bad SPC mode";
        case 26:
            return "nv refused";
        case 32:
            return "bad mode";
        case 37:
            return "already on";
        case 38:
            return "already off";
        case 40:
            return "not supported";
        case 41:
            return "no carrier";
        case 44:
            return "no memory";
        case 45:
            return "no messages";
        case 46:
            return "bad log packet";
        case 100:
            return "port not found";
        case 101:
            return "port busy or card silent";
        case 202:
            return "already started";
        case 207:
            return "bad start record";
        case 209:
            return "start failed";
        case 213:
            return "bad record version";
        default:
            return "unknown";
    }
}

bool diagctl_number(const char *text, unsigned long max, unsigned long *out) {
    if (!text || !*text || *text == '-' || *text == '+' || *text == ' ') return false;
    bool hex = text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char *digits = hex ? text + 2 : text;
    if (!*digits) return false;
    for (const char *p = digits; *p; ++p)
        if (hex ? hex_digit(*p) < 0 : (*p < '0' || *p > '9')) return false;
    if (strlen(digits) > (hex ? 8u : 10u)) return false;
    unsigned long long v = strtoull(digits, nullptr, hex ? 16 : 10);
    if (v > max) return false;
    *out = static_cast<unsigned long>(v);
    return true;
}

bool diagctl_hex(const char *text, uint8_t *out, size_t cap, size_t *len) {
    size_t n = strlen(text);
    if (n % 2 || n / 2 > cap) return false;
    for (size_t i = 0; i < n; i += 2) {
        int hi = hex_digit(text[i]), lo = hex_digit(text[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out[i / 2] = static_cast<uint8_t>(hi << 4 | lo);
    }
    *len = n / 2;
    return true;
}

bool diagctl_digits(const char *text, size_t n) {
    if (strlen(text) != n) return false;
    for (size_t i = 0; i < n; ++i)
        if (text[i] < '0' || text[i] > '9') return false;
    return true;
}
