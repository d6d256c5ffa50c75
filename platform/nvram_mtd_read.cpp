// nvram_mtd_read FILE PARTITION: copies the flash partition (the file "/flash/PARTITION") to
// FILE. Both are taken under the router root when one is set. Status 0, or 1 with a message.
#include <cstdio>

#include "platform/flash.h"

int main(int argc, char **argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: nvram_mtd_read FILE PARTITION\n");
        return 1;
    }
    const char *why = "";
    if (flash_read_partition(argv[2], argv[1], &why) < 0) {
        fprintf(stderr, "nvram_mtd_read: %s to %s: %s\n", argv[2], argv[1], why);
        return 1;
    }
    return 0;
}
