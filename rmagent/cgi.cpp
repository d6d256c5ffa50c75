#include "rmagent/cgi.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "rmagent/trace.h"
#include "rmagent/variables.h"

namespace {

struct CgiSlot {
    const char *name;
    const char *value;
};

CgiSlot *g_slots;
size_t g_nslots;  // strings counted + 1: open addressing always finds a free slot
int g_count;

size_t hash(const char *name) {
    uint32_t h = 2166136261u;
    for (; *name; ++name)
        h = (h ^ static_cast<uint8_t>(*name)) * 16777619u;
    return h;
}

CgiSlot *lookup(const char *name) {
    if (!g_slots) return nullptr;
    size_t i = hash(name) % g_nslots;
    for (size_t probes = 0; probes < g_nslots; ++probes, i = (i + 1) % g_nslots) {
        if (!g_slots[i].name || !strcmp(g_slots[i].name, name)) return &g_slots[i];
    }
    return nullptr;
}

}  // namespace

int init_cgi(char *text, size_t length) {
    free(g_slots);
    g_slots = nullptr;
    g_nslots = 0;
    g_count = 0;
    if (!text) return 0;
    text[length] = '\0';
    size_t strings = 0;
    for (size_t i = 0; i < length; ++i)
        if (text[i] && (i == 0 || !text[i - 1])) ++strings;
    g_nslots = strings + 1;
    g_slots = static_cast<CgiSlot *>(calloc(g_nslots, sizeof(CgiSlot)));
    if (!g_slots) {
        g_nslots = 0;
        return -1;
    }
    for (size_t i = 0; i < length;) {
        if (!text[i]) {
            ++i;
            continue;
        }
        char *entry = text + i;
        size_t n = strlen(entry);
        i += n + 1;
        char *eq = strchr(entry, '=');
        if (!eq) continue;
        *eq = '\0';
        (void)set_cgi(entry, eq + 1);  // a slot for every string was counted above
    }
    return 0;
}

const char *get_cgi(const char *name) {
    CgiSlot *slot = lookup(name);
    return slot && slot->name ? slot->value : nullptr;
}

int set_cgi(const char *name, const char *value) {
    CgiSlot *slot = lookup(name);
    if (!slot) return -1;
    if (!slot->name) {
        // Keep one slot free so that every probe ends.
        if (static_cast<size_t>(g_count) + 1 >= g_nslots) return -1;
        slot->name = name;
        ++g_count;
    }
    slot->value = value;
    return 0;
}

int count_cgi(void) {
    return g_count;
}

void do_upgrade_cgi(int unit) {
    for (const variable_row *row = config_variables; row->name; ++row) {
        const char *value = get_cgi(row->name);
        if (!value || !row->setter) continue;
        rcm_debug("%s(%d)=%s\n", row->name, unit, value);
        row->setter(unit, value, row);
    }
}
