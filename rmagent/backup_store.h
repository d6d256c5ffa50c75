// The backup store: a second copy of selected nvram settings in the flash partition "backup",
// which survives a restore of factory defaults. It is copied to "/tmp/nvram.backup", edited
// there through a shared mapping, and written back. Main thread only.
//
// Image (little-endian):
//   off  size  field
//   0    4     magic "FLSH"
//   4    4     length of the used image, header included (20..131072)
//   8    12    three words this program neither reads nor changes
//   20   ...   "name=value\0" entries; an empty string ends the list; the rest is padding
//
// Calling order for an edit: backup_nvram_init, backup_nvram_set..., backup_nvram_fini,
// backup_nvram_commit.
#pragma once

#include <cstddef>
#include <cstdint>

extern const char *nvram_backup_path;  // "/tmp/nvram.backup" (under the router root)
extern int nvram_backup_fd;            // -1 while closed
extern uint8_t *nvram_backup_mmap;
extern size_t nvram_backup_size;

// Copies the partition to the file (nvram_mtd_read, output to the console), opens and maps
// it. 0, or -1 (closed again) when the file cannot be opened or mapped.
[[nodiscard]] int backup_nvram_init(void);

// Replaces the value of the existing entry `name`. 0 on success; -1 when the name is absent
// (nothing changes); -2 when the padding after the list cannot absorb the growth (the entry
// is left unchanged, no entry is lost).
[[nodiscard]] int backup_nvram_set(const char *name, const char *value);

void backup_nvram_fini(void);

// Writes the file back to the partition (nvram_mtd_write, output to the console). Returns
// the command's result (0 is success).
[[nodiscard]] int backup_nvram_commit(void);

// backup_nvram_set() on an image in memory.
[[nodiscard]] int backup_image_set(uint8_t *image, size_t size, const char *name,
                                   const char *value);
