// The router's flash partitions ("nvram", "backup", "linux", ...). On a host each partition is
// a plain file named after it in the directory "/flash" (under the router root).
#pragma once

inline constexpr const char kFlashDir[] = "/flash";

// Copying a partition to and from a file, as the platform commands nvram_mtd_read and
// nvram_mtd_write do. Both names are system paths (under the router root when one is set);
// a partition name is one path component. Writing a partition is crash-safe: the copy is
// written aside, flushed and renamed into place. Each returns 0, or -1 with a message in
// `why` (a static text, for the command's error line).
[[nodiscard]] int flash_read_partition(const char *partition, const char *file, const char **why);
[[nodiscard]] int flash_write_partition(const char *file, const char *partition, const char **why);
