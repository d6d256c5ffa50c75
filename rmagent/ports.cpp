#include "rmagent/ports.h"

#include <arpa/inet.h>

#include <cstdlib>

int rcm_env_port(const char *var, int fallback) {
    const char *text = getenv(var);
    if (!text || !*text) return fallback;
    char *end = nullptr;
    long port = strtol(text, &end, 10);
    if (*end || port < 0 || port > 65535) return -1;
    return static_cast<int>(port);
}

int rcm_syslog_key(void) {
    const char *text = getenv("RMAGENT_SYSLOG_KEY");
    if (!text || !*text) return kSyslogRingKey;
    bool hex = text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    char *end = nullptr;
    long key = strtol(text, &end, hex ? 16 : 10);
    if (*end || key <= 0 || key > 0x7FFFFFFF) return -1;
    return static_cast<int>(key);
}

bool rcm_bind_addr(in_addr *out) {
    const char *text = getenv("RMAGENT_ADDR");
    if (!text || !*text) {
        out->s_addr = htonl(INADDR_ANY);
        return true;
    }
    return inet_pton(AF_INET, text, out) == 1;
}
