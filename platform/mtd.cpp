#include "platform/mtd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "common/trx.h"
#include "platform/flash.h"
#include "platform/router_root.h"

namespace {

struct Partition {
    const char *name;
    uint32_t image_capacity;
};

constexpr Partition kImagePartitions[] = {{"linux", kTrxMaxLen}};

int usage() {
    fprintf(stderr,
            "usage: mtd upgrade_trx FILE PARTITION | mtd read FILE PARTITION | "
            "mtd write_nvram FILE [PARTITION]\n");
    return 1;
}

}  // namespace

uint32_t mtd_image_capacity(const char *partition) {
    for (const Partition &p : kImagePartitions)
        if (partition && !strcmp(p.name, partition)) return p.image_capacity;
    return 0;
}

int mtd_upgrade_trx(const char *file, const char *partition, const char **why) {
    uint32_t capacity = mtd_image_capacity(partition);
    if (!capacity) {
        *why = "not a partition for an image";
        return -1;
    }
    RouterPath path(file ? file : "");
    int fd = path.ok() && file && *file ? open(path.c_str(), O_RDONLY | O_CLOEXEC) : -1;
    if (fd < 0) {
        *why = "cannot open the image";
        return -1;
    }
    uint8_t head[kTrxHeaderLen];
    ssize_t n = read(fd, head, sizeof head);
    struct stat st;
    int rc = fstat(fd, &st);
    close(fd);
    trx_header h;
    if (n < 0 || rc < 0 || !trx_parse_header(head, static_cast<size_t>(n), &h) ||
        h.magic != kTrxMagic) {
        *why = "not a TRX image";
        return -1;
    }
    if (static_cast<uint64_t>(st.st_size) > capacity || h.len > capacity) {
        *why = "image larger than the partition";
        return -1;
    }
    return flash_write_partition(file, partition, why);
}

int mtd_command(int argc, char **argv) {
    if (argc < 2) return usage();
    if (!router_root()) {
        fprintf(stderr, "mtd: no ROUTER_ROOT set: refusing to touch this host's flash\n");
        return 1;
    }
    const char *cmd = argv[1], *why = "";
    int rc;
    if (!strcmp(cmd, "upgrade_trx") && argc == 4) {
        rc = mtd_upgrade_trx(argv[2], argv[3], &why);
    } else if (!strcmp(cmd, "read") && argc == 4) {
        rc = flash_read_partition(argv[3], argv[2], &why);
    } else if (!strcmp(cmd, "write_nvram") && (argc == 3 || argc == 4)) {
        rc = flash_write_partition(argv[2], argc == 4 ? argv[3] : "nvram", &why);
    } else {
        return usage();
    }
    if (rc < 0) {
        fprintf(stderr, "mtd %s: %s\n", cmd, why);
        return 1;
    }
    return 0;
}
