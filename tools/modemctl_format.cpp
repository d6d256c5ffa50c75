#include "tools/modemctl_format.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "common/bytes.h"
#include "common/gps_record.h"

namespace {

struct NamedCommand {
    const char *name;
    int cmd;
};

constexpr NamedCommand kCommands[] = {
    {"esn", 1},   {"rssi", 2},       {"band", 3},     {"activation", 4}, {"service", 5},
    {"phone", 6}, {"sms-status", 7}, {"sms-read", 8}, {"raw", 200},      {"gps", 210},
};

int hex_digit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

int modemctl_command_number(const char *text) {
    for (const NamedCommand &c : kCommands)
        if (std::strcmp(c.name, text) == 0) return c.cmd;
    char *end = nullptr;
    long v = std::strtol(text, &end, 0);
    if (end == text || *end || v < 0 || v > 0xFFFF) return -1;
    return static_cast<int>(v);
}

int modemctl_parse_hex(const char *text, uint8_t *out, size_t cap) {
    size_t n = 0;
    for (const char *p = text; *p;) {
        if (*p == ' ' || *p == ':') {
            ++p;
            continue;
        }
        int hi = hex_digit(p[0]);
        int lo = hi < 0 ? -1 : hex_digit(p[1]);
        if (lo < 0 || n >= cap) return -1;
        out[n++] = static_cast<uint8_t>(hi << 4 | lo);
        p += 2;
    }
    return static_cast<int>(n);
}

void modemctl_print_reply(FILE *out, int cmd, const ModemReply &reply) {
    fprintf(out, "result %u\nlen %u\ndata", reply.result, reply.len);
    for (size_t i = 0; i < reply.data_len; ++i)
        fprintf(out, " %02x", reply.data[i]);
    fputc('\n', out);
    if (reply.result != 0) return;
    const uint8_t *d = reply.data;
    size_t n = reply.data_len;
    switch (cmd) {
        case 1:
            if (n >= 4) fprintf(out, "esn %08x (hex) %u (decimal)\n", get_host32(d), get_host32(d));
            break;
        case 2:
            if (n >= 2) fprintf(out, "rssi %d dBm\n", static_cast<int16_t>(get_host16(d)));
            break;
        case 3:
            if (n >= 2) fprintf(out, "band class %u\n", get_host16(d));
            break;
        case 4:
            if (n >= 2) fprintf(out, "activation status %u\n", get_host16(d));
            break;
        case 5:
            if (n >= 2) fprintf(out, "service indication %u\n", get_host16(d));
            break;
        case 6:
            fprintf(out, "phone %.*s\n", static_cast<int>(n), reinterpret_cast<const char *>(d));
            break;
        case 7:
            if (n >= 4) fprintf(out, "sms flagged %u unflagged %u\n", get_le16(d), get_le16(d + 2));
            break;
        case 210: {
            GpsRecord rec;
            if (gps_record_decode(d, n, &rec))
                fprintf(out, "gps time %u latitude %.6f longitude %.6f altitude %.0f m\n", rec.time,
                        rec.latitude, rec.longitude, rec.altitude);
            else
                fprintf(out, "gps no position\n");
            break;
        }
        default:
            break;
    }
}
