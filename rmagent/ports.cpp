#include "rmagent/ports.h"

#include <arpa/inet.h>

#include <cstdlib>

#include "common/ipc_key.h"

int rcm_env_port(const char *var, int fallback) {
    const char *text = getenv(var);
    if (!text || !*text) return fallback;
    char *end = nullptr;
    long port = strtol(text, &end, 10);
    if (*end || port < 0 || port > 65535) return -1;
    return static_cast<int>(port);
}

int rcm_syslog_key(void) {
    return ipc_key_from_env("RMAGENT_SYSLOG_KEY", kSyslogRingKey);
}

bool rcm_bind_addr(in_addr *out) {
    const char *text = getenv("RMAGENT_ADDR");
    if (!text || !*text) {
        out->s_addr = htonl(INADDR_ANY);
        return true;
    }
    return inet_pton(AF_INET, text, out) == 1;
}
