// nvram_mtd_write FILE PARTITION: writes FILE to the flash partition (the file
// "/flash/PARTITION"), crash-safely. Both are taken under the router root when one is set.
// Status 0, or 1 with a message.
#include <cstdio>

#include "platform/flash.h"

int main(int argc, char **argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: nvram_mtd_write FILE PARTITION\n");
        return 1;
    }
    const char *why = "";
    if (flash_write_partition(argv[1], argv[2], &why) < 0) {
        fprintf(stderr, "nvram_mtd_write: %s to %s: %s\n", argv[1], argv[2], why);
        return 1;
    }
    return 0;
}
