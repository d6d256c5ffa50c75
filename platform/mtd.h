// The flash writer `mtd`, a platform command the agent and the factory tool start through
// PATH. Partitions are the files "/flash/NAME" (platform/flash.h), written crash-safely; every
// path is taken under the router root, and without one the writer refuses: it never touches
// the host's flash. Single-threaded (a command).
//
//   mtd upgrade_trx FILE PARTITION   a TRX image (magic, fits the partition) to the partition
//   mtd read FILE PARTITION          a partition to a file (the factory tool's backup copy)
//   mtd write_nvram FILE [PARTITION] a file to a partition ("nvram" when none is named)
#pragma once

#include <cstdint>

// The size of a partition an image may be flashed to ("linux": 7864320 bytes); 0 for a
// partition that takes no image.
uint32_t mtd_image_capacity(const char *partition);

// Checks FILE as a TRX image for `partition` (the magic, and a file no larger than the
// partition) and writes it there. 0, or -1 with a message in `why`.
[[nodiscard]] int mtd_upgrade_trx(const char *file, const char *partition, const char **why);

// The command: argv as given to main. Returns the exit status (0, or 1 with a message on
// standard error).
int mtd_command(int argc, char **argv);
