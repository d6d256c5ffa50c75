#include "modemd/nmea.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/split.h"

namespace {

constexpr int kMaxSentence = 512;
constexpr int kMaxFields = 40;
constexpr int kMaxFractionDigits = 9;  // fits 32 bits

bool digits(const char *p, int n, int *value) {
    int v = 0;
    for (int i = 0; i < n; ++i) {
        if (p[i] < '0' || p[i] > '9') return false;
        v = v * 10 + (p[i] - '0');
    }
    *value = v;
    return true;
}

bool has(char **f, int count, int i) {
    return i < count && f[i][0] != '\0';
}

void parse_time(const char *field, gps_info *info) {
    if (strncmp(field, info->time, sizeof info->time) == 0) return;
    sscanf(field, "%2d%2d%2d.%4d", &info->hour, &info->minute, &info->second, &info->fraction);
    // Up to 20 characters, the rest zero: a 20-character time is not terminated.
    size_t n = strnlen(field, sizeof info->time);
    memset(info->time, 0, sizeof info->time);
    memcpy(info->time, field, n);
}

// Latitude at f[at], its hemisphere at f[at + 1], then longitude and hemisphere.
void parse_position(char **f, int count, int at, gps_info *info) {
    double v;
    if (has(f, count, at) && nmea_position(f[at], 2, &v)) {
        if (has(f, count, at + 1) && f[at + 1][0] == 'S') v = -v;
        info->latitude = v;
    }
    if (has(f, count, at + 2) && nmea_position(f[at + 2], 3, &v)) {
        if (has(f, count, at + 3) && f[at + 3][0] == 'W') v = -v;
        info->longitude = v;
    }
}

}  // namespace

bool nmea_position(const char *field, int deg_digits, double *deg) {
    int d, m;
    if (strlen(field) < static_cast<size_t>(deg_digits + 2) || !digits(field, deg_digits, &d) ||
        !digits(field + deg_digits, 2, &m))
        return false;
    const char *p = field + deg_digits + 2;
    long frac = 0;
    double scale = 60.0;
    if (*p == '.') {
        int n = 0;
        for (++p; *p >= '0' && *p <= '9'; ++p) {
            if (n == kMaxFractionDigits) continue;  // further digits are below any precision
            frac = frac * 10 + (*p - '0');
            scale *= 10.0;
            ++n;
        }
    }
    // With four digits this is d + m/60 + f/600000, the form the card's values were made for.
    *deg = d + m / 60.0 + frac / scale;
    return true;
}

int parse_gps_string(const char *text, gps_info *info) {
    printf("%s\n", text);
    if (text[0] != '$') return 0;
    char buf[kMaxSentence];
    snprintf(buf, sizeof buf, "%s", text + 1);
    buf[strcspn(buf, "\r\n")] = '\0';
    char *f[kMaxFields];
    int count = split(buf, ',', f, kMaxFields);
    if (count > kMaxFields) count = kMaxFields;

    if (strcmp(f[0], "GPRMC") == 0) {
        printf("GPRMC\n");
        if (has(f, count, 1)) parse_time(f[1], info);
        if (has(f, count, 2)) info->fix = f[2][0] == 'A' && f[2][1] == '\0';
        parse_position(f, count, 3, info);
        if (has(f, count, 7)) info->velocity = strtod(f[7], nullptr) * 1.852;
        if (has(f, count, 8)) info->direction = strtod(f[8], nullptr);
    } else if (strcmp(f[0], "GPGGA") == 0) {
        if (has(f, count, 1)) parse_time(f[1], info);
        parse_position(f, count, 2, info);
        if (has(f, count, 6)) info->fix = atoi(f[6]);
        if (has(f, count, 7)) info->satellites = atoi(f[7]);
        if (has(f, count, 8)) info->dis = strtod(f[8], nullptr);
        if (has(f, count, 9)) info->height = strtod(f[9], nullptr);
        if (has(f, count, 10)) info->heightunit = f[10][0];
    } else if (strcmp(f[0], "GPGSV") == 0) {
        printf("GPGSV\n");
        // Three fields (message count, number, satellites in view), then the satellite
        // blocks, which nothing here keeps.
        const char *rest = text + 1;
        for (int skip = 0; skip < 4 && rest; ++skip) {
            rest = strchr(rest, ',');
            if (rest) ++rest;
        }
        if (rest) printf("%s\n", rest);
    } else if (strcmp(f[0], "GPGSA") == 0) {
        printf("GPGSA\n");
    }
    return 1;
}
