// nvram: the router's command-line front end to its nvram store.
//   nvram get NAME | set NAME=VALUE | unset NAME | show | commit   [more commands ...]
// Commands run in order; the first failure ends the run with status 1 and a message.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/nvram.h"

namespace {

int usage() {
    fprintf(stderr, "usage: nvram [get NAME] [set NAME=VALUE] [unset NAME] [show] [commit] ...\n");
    return 1;
}

int fail(const char *what, const char *name, int rc) {
    fprintf(stderr, "nvram: %s %s: %s\n", what, name, strerror(-rc));
    return 1;
}

int show() {
    constexpr size_t kRoom = 64 * 1024 + 1;
    char *all = static_cast<char *>(malloc(kRoom));
    if (!all) return fail("show", "", -ENOMEM);
    int used = nvram_getall(all, kRoom);
    if (used < 0) {
        free(all);
        return fail("show", "", used);
    }
    for (const char *p = all; *p; p += strlen(p) + 1)
        puts(p);
    free(all);
    size_t in_use = 0, capacity = 0;
    if (nvram_usage(&in_use, &capacity) == 0)
        printf("size: %zu bytes (%zu left)\n", in_use, capacity - in_use);
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 2) return usage();
    for (int i = 1; i < argc; ++i) {
        const char *cmd = argv[i];
        if (!strcmp(cmd, "show")) {
            if (show() != 0) return 1;
        } else if (!strcmp(cmd, "commit")) {
            int rc = nvram_commit();
            if (rc < 0) return fail("commit", "", rc);
        } else if (i + 1 >= argc) {
            return usage();
        } else if (!strcmp(cmd, "get")) {
            const char *name = argv[++i];
            const char *value = nvram_get(name);
            if (!value) {
                fprintf(stderr, "nvram: %s is not set\n", name);
                return 1;
            }
            puts(value);
        } else if (!strcmp(cmd, "set")) {
            char *pair = argv[++i];
            char *eq = strchr(pair, '=');
            if (!eq) return usage();
            *eq = '\0';
            int rc = nvram_set(pair, eq + 1);
            if (rc < 0) return fail("set", pair, rc);
        } else if (!strcmp(cmd, "unset")) {
            const char *name = argv[++i];
            int rc = nvram_unset(name);
            if (rc < 0) return fail("unset", name, rc);
        } else {
            return usage();
        }
    }
    return 0;
}
