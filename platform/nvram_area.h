// The nvram store's contents: "name=value\0" entries packed in a fixed area, and the
// committed image that keeps them in flash. Pure functions over memory; the locking and the
// files are nvram.cpp's. Every length read from a shared map or a file is bounded here.
//
// Committed image (little-endian):
//   off  size  field
//   0    4     magic "NVC1"
//   4    4     length of the entries
//   8    4     CRC-32 of the entries (running value from 0xFFFFFFFF, complemented)
//   12   n     entries, "name=value\0" each
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr size_t kNvramCapacity = 64 * 1024;  // bytes of "name=value\0" text
inline constexpr size_t kNvramImageHeader = 12;

struct NvramArea {
    uint32_t used;  // bytes of entries in `data`
    char data[kNvramCapacity];
};

// The bytes of `area` that hold whole entries (a damaged tail is ignored).
size_t nvram_area_extent(const NvramArea &area);

// The value of `name` in `area`, or nullptr when absent.
const char *nvram_area_find(const NvramArea &area, const char *name);

// Writes into `dst` the entries of `src` with `name` set to `value` (in place when present,
// appended otherwise), or removed when `value` is nullptr. Returns 0, or -ENOSPC when the
// result would not fit (then `dst` is left as garbage and must not be published).
int nvram_area_rewrite(const NvramArea &src, NvramArea &dst, const char *name, const char *value);

// A name is non-empty and holds no '='.
bool nvram_name_valid(const char *name);

// Encodes `len` entry bytes as a committed image into `out` (room for len + 12 bytes).
size_t nvram_image_encode(const char *entries, size_t len, uint8_t *out);

// Checks a committed image and copies its entries into `area`. Returns 0, or -1 when the
// image is damaged (bad magic, length, check value or entry).
int nvram_image_decode(const uint8_t *image, size_t size, NvramArea &area);
