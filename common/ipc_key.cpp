#include "common/ipc_key.h"

#include <cstdint>
#include <cstdlib>

namespace {

int digit_value(char c, int base) {
    int v = c >= '0' && c <= '9'   ? c - '0'
            : c >= 'a' && c <= 'f' ? c - 'a' + 10
            : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                   : 99;
    return v < base ? v : -1;
}

}  // namespace

bool ipc_key_parse(const char *text, int *key) {
    int base = 10;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text += 2;
    }
    if (!*text) return false;
    int64_t v = 0;
    for (; *text; ++text) {
        int d = digit_value(*text, base);
        if (d < 0) return false;
        v = v * base + d;
        if (v > 0x7FFFFFFF) return false;
    }
    if (v == 0) return false;
    *key = static_cast<int>(v);
    return true;
}

int ipc_key_from_env(const char *var, int fallback) {
    const char *text = std::getenv(var);
    if (!text || !*text) return fallback;
    int key = -1;
    return ipc_key_parse(text, &key) ? key : -1;
}
