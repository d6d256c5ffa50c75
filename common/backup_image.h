// The backup store's image: a second copy of selected nvram settings kept in the flash
// partition "backup", which survives a restore of factory defaults. Pure code on an image in
// memory; the copy out of flash and back is platform/backup_edit.h. Shared by the agent and
// the factory tool.
//
// Image (little-endian):
//   off  size  field
//   0    4     magic "FLSH"
//   4    4     length of the used image, header included (20..131072)
//   8    12    three words this system neither reads nor changes
//   20   ...   "name=value\0" entries; an empty string ends the list; the rest is padding
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr size_t kBackupHeaderLen = 20;
inline constexpr uint32_t kBackupMaxLen = 131072;
// Longest entry the same-length edit looks at; a longer one is skipped whole.
inline constexpr size_t kBackupMaxEntry = 1023;

// The agent's edit: replaces the value of the first entry named `name`, moving the rest of
// the image when the length changes (bytes of 128 and above in a name do not count). 0 on
// success; -1 when the name is absent (nothing changes); -2 when the padding after the list
// cannot absorb the growth (nothing changes, no entry is lost).
[[nodiscard]] int backup_image_set(uint8_t *image, size_t size, const char *name,
                                   const char *value);

// Header check of the factory tool's edit.
enum backup_header_status {
    kBackupHeaderOk = 0,
    kBackupHeaderShort = -2,  // fewer than 20 bytes
    kBackupHeaderBad = -3,    // another magic, or a length below 20 or above 131072
};
[[nodiscard]] int backup_image_check_header(const uint8_t *image, size_t size);

// The factory tool's edit: checks the header, then scans the entries from byte 20 up to the
// empty string or the end of the image (an entry running to the end without its NUL ends the
// scan unread) and replaces every entry whose text before its first "=" is exactly `name`
// and whose length equals that of "name=value": the value is written in place, nothing
// moves. Entries without "=" and entries longer than kBackupMaxEntry are skipped whole. The
// header is never changed. Returns the number of entries replaced (0 or more), or a
// backup_header_status below 0 (nothing changes).
[[nodiscard]] int backup_image_replace(uint8_t *image, size_t size, const char *name,
                                       const char *value);
