// The backup store: a second copy of selected nvram settings in the flash partition "backup",
// which survives a restore of factory defaults. It is copied to "/tmp/nvram.backup", edited
// there through a shared mapping, and written back. Main thread only.
//
// The image and its edit are common/backup_image.h; the copy out of flash and back, and the
// lock that keeps the factory tool's edits apart from the agent's, platform/backup_edit.h.
//
// Calling order for an edit: backup_nvram_init, backup_nvram_set..., backup_nvram_fini,
// backup_nvram_commit.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/backup_image.h"

extern const char *nvram_backup_path;  // "/tmp/nvram.backup" (under the router root)
extern int nvram_backup_fd;            // -1 while closed
extern uint8_t *nvram_backup_mmap;
extern size_t nvram_backup_size;

// Takes the backup store's edit lock, copies the partition to the file (nvram_mtd_read,
// output to the console), opens and maps it. 0, or -1 (closed again, the lock released) when
// the copy fails (a working file left from an earlier edit is never used) or the file cannot
// be opened or mapped.
[[nodiscard]] int backup_nvram_init(void);

// Replaces the value of the existing entry `name`. 0 on success; -1 when the name is absent
// (nothing changes); -2 when the padding after the list cannot absorb the growth (the entry
// is left unchanged, no entry is lost).
[[nodiscard]] int backup_nvram_set(const char *name, const char *value);

void backup_nvram_fini(void);

// Writes the file back to the partition (nvram_mtd_write, output to the console) and releases
// the edit lock. Returns the command's result (0 is success).
[[nodiscard]] int backup_nvram_commit(void);
