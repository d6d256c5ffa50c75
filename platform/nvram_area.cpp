#include "platform/nvram_area.h"

#include <cerrno>
#include <cstring>

#include "common/bytes.h"
#include "common/crc32.h"

namespace {

// Length of the entry at `p` including its terminator, or 0 when it is not whole or bad.
size_t entry_len(const char *p, size_t room) {
    const void *nul = std::memchr(p, '\0', room);
    if (!nul) return 0;
    size_t len = static_cast<size_t>(static_cast<const char *>(nul) - p) + 1;
    const char *eq = static_cast<const char *>(std::memchr(p, '=', len));
    if (!eq || eq == p) return 0;
    return len;
}

bool entry_has_name(const char *entry, const char *name, size_t name_len) {
    return std::strncmp(entry, name, name_len) == 0 && entry[name_len] == '=';
}

uint32_t entries_crc(const char *entries, size_t len) {
    return ~crc32_update(0xFFFFFFFFu, reinterpret_cast<const uint8_t *>(entries), len);
}

}  // namespace

size_t nvram_area_extent(const NvramArea &area) {
    size_t used = area.used < kNvramCapacity ? area.used : kNvramCapacity;
    size_t off = 0;
    while (off < used) {
        size_t len = entry_len(area.data + off, used - off);
        if (!len) break;
        off += len;
    }
    return off;
}

const char *nvram_area_find(const NvramArea &area, const char *name) {
    size_t name_len = std::strlen(name);
    size_t used = nvram_area_extent(area);
    for (size_t off = 0; off < used;) {
        const char *entry = area.data + off;
        if (entry_has_name(entry, name, name_len)) return entry + name_len + 1;
        off += std::strlen(entry) + 1;
    }
    return nullptr;
}

int nvram_area_rewrite(const NvramArea &src, NvramArea &dst, const char *name, const char *value) {
    size_t name_len = std::strlen(name);
    size_t new_len = value ? name_len + 1 + std::strlen(value) + 1 : 0;
    size_t used = nvram_area_extent(src);
    size_t out = 0;
    bool placed = false;
    auto put = [&](const char *bytes, size_t len) {
        if (len > kNvramCapacity - out) return false;
        std::memcpy(dst.data + out, bytes, len);
        out += len;
        return true;
    };
    auto put_new = [&]() {
        if (new_len > kNvramCapacity - out) return false;
        std::memcpy(dst.data + out, name, name_len);
        dst.data[out + name_len] = '=';
        std::memcpy(dst.data + out + name_len + 1, value, new_len - name_len - 1);
        out += new_len;
        return true;
    };
    for (size_t off = 0; off < used;) {
        const char *entry = src.data + off;
        size_t len = std::strlen(entry) + 1;
        off += len;
        if (entry_has_name(entry, name, name_len)) {
            if (placed || !value) continue;  // a duplicate, or the entry being removed
            if (!put_new()) return -ENOSPC;
            placed = true;
        } else if (!put(entry, len)) {
            return -ENOSPC;
        }
    }
    if (value && !placed && !put_new()) return -ENOSPC;
    dst.used = static_cast<uint32_t>(out);
    return 0;
}

bool nvram_name_valid(const char *name) {
    return name && *name && !std::strchr(name, '=');
}

size_t nvram_image_encode(const char *entries, size_t len, uint8_t *out) {
    std::memcpy(out, "NVC1", 4);
    put_le32(out + 4, static_cast<uint32_t>(len));
    put_le32(out + 8, entries_crc(entries, len));
    std::memcpy(out + kNvramImageHeader, entries, len);
    return kNvramImageHeader + len;
}

int nvram_image_decode(const uint8_t *image, size_t size, NvramArea &area) {
    if (size < kNvramImageHeader || std::memcmp(image, "NVC1", 4) != 0) return -1;
    uint32_t len = get_le32(image + 4);
    if (len > kNvramCapacity || len != size - kNvramImageHeader) return -1;
    const char *entries = reinterpret_cast<const char *>(image + kNvramImageHeader);
    if (get_le32(image + 8) != entries_crc(entries, len)) return -1;
    std::memcpy(area.data, entries, len);
    area.used = len;
    if (nvram_area_extent(area) != len) return -1;
    return 0;
}
