#include "platform/utils.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/router_root.h"

void dump_buf(const char *label, const void *buf, size_t len) {
    const uint8_t *p = static_cast<const uint8_t *>(buf);
    printf("%s (%zu bytes):\n", label, len);
    for (size_t row = 0; row < len; row += 16) {
        char line[16 * 3 + 16];
        size_t used = 0;
        for (size_t i = row; i < len && i < row + 16; ++i)
            used += static_cast<size_t>(snprintf(line + used, sizeof line - used, " %02x", p[i]));
        printf("%04zx:%s\n", row, line);
    }
    fflush(stdout);
}

int memory_info(uint32_t words[kMemoryInfoWords]) {
    RouterPath path("/proc/meminfo");
    FILE *f = path.ok() ? fopen(path.c_str(), "re") : nullptr;
    if (!f) return -1;
    unsigned long total = 0, free_kb = 0, shared = 0, buffers = 0, cached = 0;
    bool have_total = false;
    char line[128];
    while (fgets(line, sizeof line, f)) {
        char name[32];
        unsigned long kb;
        if (sscanf(line, "%31[^:]: %lu", name, &kb) != 2) continue;
        if (!std::strcmp(name, "MemTotal")) {
            total = kb;
            have_total = true;
        } else if (!std::strcmp(name, "MemFree")) {
            free_kb = kb;
        } else if (!std::strcmp(name, "Shmem") || !std::strcmp(name, "MemShared")) {
            shared = kb;
        } else if (!std::strcmp(name, "Buffers")) {
            buffers = kb;
        } else if (!std::strcmp(name, "Cached")) {
            cached = kb;
        }
    }
    fclose(f);
    if (!have_total || total == 0) return -1;
    words[0] = static_cast<uint32_t>(total);
    words[1] = static_cast<uint32_t>(total >= free_kb ? total - free_kb : 0);
    words[2] = static_cast<uint32_t>(free_kb);
    words[3] = static_cast<uint32_t>(shared);
    words[4] = static_cast<uint32_t>(buffers);
    words[5] = static_cast<uint32_t>(cached);
    return 0;
}
