// The router's flash partitions ("nvram", "backup", "linux", ...). On a host each partition is
// a plain file named after it in the directory "/flash" (under the router root).
#pragma once

inline constexpr const char kFlashDir[] = "/flash";
