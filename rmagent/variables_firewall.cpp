// Firewall rule accessors: a rule travels as comma-separated fields, kept in nvram under
// "firewall_access<N>_<field>" or "firewall_portforwarding<N>_<field>" with a status key.
// The last field on the wire and the status code are inverted: written "1", the rule is
// stored with status 2 and read back as "0"; written "0", status 1, read back "1".
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/split.h"
#include "platform/nvram.h"
#include "rmagent/variables.h"

namespace {

constexpr const char *kAccessFields[] = {"indev",     "from_ip", "outdev", "to_ip",  "protocol",
                                         "startport", "endport", "log",    "action", "desc"};
constexpr const char *kForwardFields[] = {"interface", "protocol", "externalport", "natip",
                                          "localport", "autofw",   "desc"};

struct RuleKind {
    const char *name_prefix;  // the variable names: prefix + N
    const char *key_format;   // the nvram key prefix, with N
    const char *const *fields;
    int nfields;  // stored fields; the wire carries one more (the status)
};

constexpr RuleKind kAccess = {"firewall_access_rule", "firewall_access%d_", kAccessFields, 10};
constexpr RuleKind kForward = {"firewall_portforwarding_rule", "firewall_portforwarding%d_",
                               kForwardFields, 7};

const char *rule_get(const RuleKind &k, int n, const char *field) {
    char key[96];
    int len = snprintf(key, sizeof key, k.key_format, n);
    snprintf(key + len, sizeof key - static_cast<size_t>(len), "%s", field);
    return nvram_safe_get(key);
}

int rule_set(const RuleKind &k, int n, const char *field, const char *value) {
    char key[96];
    int len = snprintf(key, sizeof key, k.key_format, n);
    snprintf(key + len, sizeof key - static_cast<size_t>(len), "%s", field);
    return nvram_set(key, value);
}

int rule_number(const RuleKind &k, const variable_row *row) {
    return atoi(row->name + strlen(k.name_prefix));
}

char *rule_text(const RuleKind &k, const variable_row *row) {
    int n = rule_number(k, row);
    int status = atoi(rule_get(k, n, "status"));
    if (status == 0) return variable_strdup("");
    size_t total = 2;
    for (int i = 0; i < k.nfields; ++i)
        total += strlen(rule_get(k, n, k.fields[i])) + 1;
    char *text = static_cast<char *>(malloc(total + 1));
    if (!text) return nullptr;
    size_t used = 0;
    for (int i = 0; i < k.nfields; ++i) {
        const char *v = rule_get(k, n, k.fields[i]);
        size_t len = strlen(v);
        memcpy(text + used, v, len);
        used += len;
        text[used++] = ',';
    }
    text[used++] = status == 2 ? '0' : '1';
    text[used] = '\0';
    return text;
}

int rule_store(const RuleKind &k, const char *value, const variable_row *row) {
    int n = rule_number(k, row);
    if (!*value) return rule_set(k, n, "status", "0");
    char *copy = variable_strdup(value);
    if (!copy) return -1;
    char *fields[12];
    int count = split(copy, ',', fields, 12);
    int rc = 0;
    if (count == k.nfields + 1) {
        for (int i = 0; i < k.nfields; ++i)
            if (rule_set(k, n, k.fields[i], fields[i]) < 0) rc = -1;
        if (rule_set(k, n, "status", strcmp(fields[k.nfields], "1") == 0 ? "2" : "1") < 0) rc = -1;
    }
    free(copy);
    return rc;
}

}  // namespace

char *firewall_access_get(int, const variable_row *row) {
    return rule_text(kAccess, row);
}

int firewall_access_set(int, const char *value, const variable_row *row) {
    return rule_store(kAccess, value, row);
}

char *firewall_portforwarding_get(int, const variable_row *row) {
    return rule_text(kForward, row);
}

int firewall_portforwarding_set(int, const char *value, const variable_row *row) {
    return rule_store(kForward, value, row);
}
