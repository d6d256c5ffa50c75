// Editing the backup store (common/backup_image.h) through its working copy
// "/tmp/nvram.backup": copy the partition "backup" out of flash, edit, write it back. The
// agent and the factory tool both edit this way, and never at the same time: an advisory lock
// (flock on "/tmp/nvram.backup.lock", released when the holder dies) is taken before the copy
// out of flash and released after the write-back. Main thread only.
#pragma once

inline constexpr const char kBackupWorkingPath[] = "/tmp/nvram.backup";
inline constexpr const char kBackupLockPath[] = "/tmp/nvram.backup.lock";

// Takes the edit lock, waiting for another holder to finish. 0, or -1 when the lock file
// cannot be opened or locked.
[[nodiscard]] int backup_edit_lock(void);
// Releases it (harmless when not held).
void backup_edit_unlock(void);
// Whether this process holds it.
bool backup_edit_locked(void);

// The factory tool's edit, under the lock: `mtd read` the partition into the working copy
// (output to the console, waited for), read the copy once, replace every entry `name` of the
// same length in place (backup_image_replace), write back only the bytes that changed, then
// `mtd write_nvram` the copy to the partition whether or not anything changed. Returns 0 when
// at least one entry was replaced and everything succeeded, else -1 with a line on standard
// error: a failed `mtd read` (nothing is written back, so a stale working copy never reaches
// the partition), a short or bad image ("backup paritition is bad \n", "Bad nvram_hdr
// header\n"), a failed or short write, a failed `mtd write_nvram`, no entry of that name and
// length.
[[nodiscard]] int backup_set(const char *name, const char *value);
