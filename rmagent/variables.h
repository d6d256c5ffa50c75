// The variables the management server reads and writes: one row per name, mapping it to the
// nvram keys behind it and to its accessors. Two tables, each ended by a row without a name;
// their order is the order of sending and of applying a configuration request.
// Getters return a new string (malloc) that the caller frees, or nullptr when memory is short.
// Main thread only.
#pragma once

#include <cstddef>

struct variable_row;
typedef char *(*variable_getter)(int unit, const variable_row *row);
typedef int (*variable_setter)(int unit, const char *value, const variable_row *row);

enum UnitKind { kUnitPlain = 0, kUnitWireless = 1, kUnitWan = 2 };

struct variable_row {
    const char *name;
    int unit_kind;  // 0: the name is the key; 1: "wl%d_" + name[3..]; 2: "wan%d_" + name[4..]
    variable_getter getter;
    variable_setter setter;  // nullptr: read-only
};

extern const variable_row config_variables[];
extern const variable_row information_variables[];

// The nvram key of `row` for `unit`, in `out`. false when it does not fit.
[[nodiscard]] bool variable_key(const variable_row *row, int unit, char *out, size_t size);

// A new copy of `text` (malloc).
[[nodiscard]] char *variable_strdup(const char *text);

[[nodiscard]] char *generic_nvram_get(int unit, const variable_row *row);
[[nodiscard]] int generic_nvram_set(int unit, const char *value, const variable_row *row);
[[nodiscard]] char *lan_dhcp_rule_get(int unit, const variable_row *row);
[[nodiscard]] int lan_dhcp_rule_set(int unit, const char *value, const variable_row *row);

[[nodiscard]] char *wl_auth_mode_get(int unit, const variable_row *row);
[[nodiscard]] int wl_auth_mode_set(int unit, const char *value, const variable_row *row);
[[nodiscard]] char *wl_wep_get(int unit, const variable_row *row);
[[nodiscard]] int wl_wep_set(int unit, const char *value, const variable_row *row);
[[nodiscard]] char *wl_macmode_get(int unit, const variable_row *row);
[[nodiscard]] int wl_macmode_set(int unit, const char *value, const variable_row *row);
[[nodiscard]] int wl_macrule_set(int unit, const char *value, const variable_row *row);

[[nodiscard]] char *firewall_access_get(int unit, const variable_row *row);
[[nodiscard]] int firewall_access_set(int unit, const char *value, const variable_row *row);
[[nodiscard]] char *firewall_portforwarding_get(int unit, const variable_row *row);
[[nodiscard]] int firewall_portforwarding_set(int unit, const char *value, const variable_row *row);

// Status figures (interface counters, memory).
[[nodiscard]] char *interfaces_info_get(int unit, const variable_row *row);
[[nodiscard]] char *memusage_get(int unit, const variable_row *row);
[[nodiscard]] char *memtotal_get(int unit, const variable_row *row);
