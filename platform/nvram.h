// The router's nvram: one key/value store shared by every process. A set is visible at once
// to every process; sets from many processes never lose one another; nvram_commit() saves the
// store to flash crash-safely, and the first use after boot (no working store yet) loads the
// committed copy. Capacity: 64 KiB of "name=value" text. Safe from any thread.
//
// Files (under the router root): the working store "/tmp/nvram/working" (RAM on the board)
// with its lock files, and the committed copy in the flash partition file "/flash/nvram".
#pragma once

#include <cstddef>

// The value, or nullptr when the key is absent. The text stays valid until this process reads
// the same key again after its value changed.
const char *nvram_get(const char *name);

// nvram_get() with "" for an absent key.
const char *nvram_safe_get(const char *name);

// Sets the key. Returns 0; -EINVAL for a bad name (empty or holding '='); -ENOSPC when the
// store would exceed its capacity (nothing changes); -EIO when the store cannot be opened.
[[nodiscard]] int nvram_set(const char *name, const char *value);

// Removes the key (absent is fine). Returns 0, or a negative error as nvram_set().
[[nodiscard]] int nvram_unset(const char *name);

// Writes the store to flash. Returns 0, or a negative errno value.
[[nodiscard]] int nvram_commit(void);

// Copies every "name=value" entry, each NUL-terminated, followed by an empty string, into
// `buf`. Returns the bytes used by the entries, or -ENOSPC when `buf` is too small.
int nvram_getall(char *buf, size_t size);

// Bytes of the store in use, and its capacity.
int nvram_usage(size_t *used, size_t *capacity);
