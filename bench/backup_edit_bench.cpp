// The backup store edit of the factory tool on a 128 KiB working copy with 2,000 entries (the
// `mtd` copies out of and into flash left out: the seam's command runner answers at once):
// time per edit, against a byte-at-a-time reader (one read per byte, seek back and write
// over a matching entry of the same length) measured in the same run on the same file.
//   backup_edit_bench [EDITS]
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "platform/backup_edit.h"
#include "platform/env.h"
#include "tests/support/testsupport.h"

namespace {

int no_command(char *const[], const char *, int, pid_t *) {
    return 0;
}

std::string make_image() {
    std::string entries;
    char line[80];
    for (int i = 0; i < 2000; ++i) {
        if (i == 1000) entries += std::string("SN=ZD0300000001", 15) + '\0';
        snprintf(line, sizeof line, "setting_%04d=value-%04d-%s", i, i,
                 "abcdefghijklmnopqrstuvwxyz");
        entries += line;
        entries += '\0';
    }
    entries += '\0';
    std::string img("FLSH", 4);
    uint32_t len = static_cast<uint32_t>(20 + entries.size());
    for (int i = 0; i < 4; ++i)
        img += static_cast<char>(len >> (8 * i));
    img += std::string(12, '\0') + entries;
    img.resize(131072, '\0');
    return img;
}

// The reference: every byte its own read, as a plain reading of the store's format does.
int byte_reader_set(const char *path, const char *name, const char *value) {
    int fd = open(path, O_RDWR);
    if (fd < 0) return -1;
    char head[20];
    if (read(fd, head, 20) != 20) {
        close(fd);
        return -1;
    }
    std::string want = std::string(name) + "=" + value;
    int replaced = 0;
    for (;;) {
        char entry[1024];
        size_t n = 0;
        char c;
        ssize_t r;
        while ((r = read(fd, &c, 1)) == 1 && c != '\0' && n < sizeof entry - 1)
            entry[n++] = c;
        if (n == 0) break;
        entry[n] = '\0';
        const char *eq = strchr(entry, '=');
        if (eq && static_cast<size_t>(eq - entry) == strlen(name) &&
            !strncmp(entry, name, strlen(name)) && n == want.size()) {
            lseek(fd, -static_cast<off_t>(n + 1), SEEK_CUR);
            if (write(fd, want.c_str(), n + 1) != static_cast<ssize_t>(n + 1)) break;
            ++replaced;
        }
        if (r != 1) break;
    }
    close(fd);
    return replaced ? 0 : -1;
}

}  // namespace

int main(int argc, char **argv) {
    int edits = argc > 1 ? atoi(argv[1]) : 200;
    testsupport::TempRouterRoot root;
    env_ops ops = *env_current();
    ops.eval = no_command;
    env_install(&ops);
    std::string path = root.host(kBackupWorkingPath);
    testsupport::write_file(path, make_image());
    const char *values[] = {"ZD0399999999", "ZD0300000001"};

    std::vector<uint64_t> ours, reference;
    for (int i = 0; i < edits; ++i) {
        uint64_t t0 = bench_now_ns();
        if (backup_set("SN", values[i & 1]) != 0) return 1;
        ours.push_back(bench_now_ns() - t0);
    }
    int ref_edits = edits / 10 > 0 ? edits / 10 : 1;  // the reference is slow
    for (int i = 0; i < ref_edits; ++i) {
        uint64_t t0 = bench_now_ns();
        if (byte_reader_set(path.c_str(), "SN", values[i & 1]) != 0) return 1;
        reference.push_back(bench_now_ns() - t0);
    }
    env_install(nullptr);
    double a = summarize(ours).median_us, b = summarize(reference).median_us;
    char text[64];
    snprintf(text, sizeof text, "%.0f us (median)", a);
    bench_row("backup store edit, 128 KiB, 2000 entries (no mtd)", text, "< 2000 us");
    snprintf(text, sizeof text, "%.0f us (median)", b);
    bench_row("  byte-at-a-time reader, same file", text, "reference");
    snprintf(text, sizeof text, "%.1fx", a > 0 ? b / a : 0);
    bench_row("  speed-up over the byte-at-a-time reader", text, ">= 20x");
    return 0;
}
