// Wireless accessors: every key is "wl<unit>_" followed by a suffix.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/nvram.h"
#include "rmagent/variables.h"

namespace {

constexpr size_t kMacRuleCut = 17;  // "00:11:22:33:44:55"

const char *wl_get(int unit, const char *suffix) {
    char key[64];
    snprintf(key, sizeof key, "wl%d_%s", unit, suffix);
    return nvram_safe_get(key);
}

int wl_set(int unit, const char *suffix, const char *value) {
    char key[64];
    snprintf(key, sizeof key, "wl%d_%s", unit, suffix);
    return nvram_set(key, value);
}

}  // namespace

char *wl_auth_mode_get(int unit, const variable_row *) {
    return variable_strdup(wl_get(unit, "net_auth_mode"));
}

int wl_auth_mode_set(int unit, const char *value, const variable_row *) {
    int rc = wl_set(unit, "net_auth_mode", value);
    struct Mode {
        const char *auth, *auth_mode, *akm;
    };
    static const Mode kModes[] = {{"0", "none", ""}, {"1", "none", ""}, {"0", "none", "psk"}};
    int mode = atoi(value);
    if (mode < 1 || mode > 3) return rc;
    const Mode &m = kModes[mode - 1];
    if (wl_set(unit, "auth", m.auth) < 0) rc = -1;
    if (wl_set(unit, "auth_mode", m.auth_mode) < 0) rc = -1;
    if (wl_set(unit, "akm", m.akm) < 0) rc = -1;
    return rc;
}

char *wl_wep_get(int unit, const variable_row *) {
    return variable_strdup(strcmp(wl_get(unit, "wep"), "enabled") == 0 ? "1" : "0");
}

// "1" enables; any other value disables.
int wl_wep_set(int unit, const char *value, const variable_row *) {
    return wl_set(unit, "wep", strcmp(value, "1") == 0 ? "enabled" : "disabled");
}

// Unset or unknown reads as "0" (disabled).
char *wl_macmode_get(int unit, const variable_row *) {
    const char *mode = wl_get(unit, "macmode");
    const char *code = !strcmp(mode, "deny") ? "1" : !strcmp(mode, "allow") ? "2" : "0";
    return variable_strdup(code);
}

// "1" deny, "2" allow; any other value disables.
int wl_macmode_set(int unit, const char *value, const variable_row *) {
    const char *mode = !strcmp(value, "1") ? "deny" : !strcmp(value, "2") ? "allow" : "disabled";
    return wl_set(unit, "macmode", mode);
}

int wl_macrule_set(int unit, const char *value, const variable_row *row) {
    int rc = wl_set(unit, row->name + 3, value);
    char list[8 * (kMacRuleCut + 1) + 1] = "";
    size_t used = 0;
    for (int i = 0; i < 8; ++i) {
        char suffix[16];
        snprintf(suffix, sizeof suffix, "macrule%d", i);
        const char *rule = wl_get(unit, suffix);
        size_t n = strnlen(rule, kMacRuleCut);
        if (n == 0) continue;
        if (used) list[used++] = ' ';
        memcpy(list + used, rule, n);
        used += n;
        list[used] = '\0';
    }
    if (wl_set(unit, "maclist", list) < 0) rc = -1;
    return rc;
}
