// Plain accessors: the key follows the row's unit kind; DHCP rules keep their number inside
// the key ("lan_dhcp_rule3" is stored under "lan_dhcp3_rule").
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/nvram.h"
#include "rmagent/variables.h"

bool variable_key(const variable_row *row, int unit, char *out, size_t size) {
    int n;
    switch (row->unit_kind) {
        case kUnitWireless:
            n = snprintf(out, size, "wl%d_%s", unit, row->name + 3);
            break;
        case kUnitWan:
            n = snprintf(out, size, "wan%d_%s", unit, row->name + 4);
            break;
        default:
            n = snprintf(out, size, "%s", row->name);
            break;
    }
    return n >= 0 && static_cast<size_t>(n) < size;
}

char *variable_strdup(const char *text) {
    size_t n = strlen(text) + 1;
    char *copy = static_cast<char *>(malloc(n));
    if (copy) memcpy(copy, text, n);
    return copy;
}

char *generic_nvram_get(int unit, const variable_row *row) {
    char key[128];
    if (!variable_key(row, unit, key, sizeof key)) return variable_strdup("");
    return variable_strdup(nvram_safe_get(key));
}

int generic_nvram_set(int unit, const char *value, const variable_row *row) {
    char key[128];
    if (!variable_key(row, unit, key, sizeof key)) return -1;
    return nvram_set(key, value);
}

namespace {

void dhcp_rule_key(const variable_row *row, char *key, size_t size) {
    int n = atoi(row->name + strlen("lan_dhcp_rule"));
    snprintf(key, size, "lan_dhcp%d_rule", n);
}

}  // namespace

char *lan_dhcp_rule_get(int, const variable_row *row) {
    char key[64];
    dhcp_rule_key(row, key, sizeof key);
    return variable_strdup(nvram_safe_get(key));
}

int lan_dhcp_rule_set(int, const char *value, const variable_row *row) {
    char key[64];
    dhcp_rule_key(row, key, sizeof key);
    return nvram_set(key, value);
}
