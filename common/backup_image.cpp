#include "common/backup_image.h"

#include <cstring>

#include "common/bytes.h"

namespace {

// Whether the entry at image[start..end) names `name`: its characters up to the first "="
// (bytes of 128 and above skipped) equal the name. On a match, `value` is the offset just
// after that "=".
bool entry_matches(const uint8_t *image, size_t start, size_t end, const char *name,
                   size_t *value) {
    size_t k = 0;
    for (size_t i = start; i < end; ++i) {
        uint8_t c = image[i];
        if (c >= 128) continue;
        if (c == '=') {
            if (name[k] != '\0') return false;
            *value = i + 1;
            return true;
        }
        if (name[k] == '\0' || name[k] != static_cast<char>(c)) return false;
        ++k;
    }
    return false;
}

}  // namespace

int backup_image_set(uint8_t *image, size_t size, const char *name, const char *value) {
    if (!*name) return -1;
    size_t pos = kBackupHeaderLen, value_at = 0, value_end = 0;
    bool found = false;
    // Entries up to the empty string that ends the list; the padding beyond is not looked at.
    while (pos < size && image[pos] != 0) {
        const uint8_t *nul = static_cast<const uint8_t *>(memchr(image + pos, 0, size - pos));
        size_t end = nul ? static_cast<size_t>(nul - image) : size;
        if (!found && end < size && entry_matches(image, pos, end, name, &value_at)) {
            found = true;
            value_end = end;
        }
        pos = end + 1;
    }
    if (!found) return -1;
    size_t list_end = pos;  // the NUL of the empty string, or size when the list runs out
    size_t o = value_end - value_at, n = strlen(value);
    if (n > o) {
        size_t grow = n - o;
        if (list_end >= size || list_end + grow >= size) return -2;
        memmove(image + value_end + grow, image + value_end, size - value_end - grow);
    } else if (n < o) {
        size_t shrink = o - n;
        memmove(image + value_end - shrink, image + value_end, size - value_end);
        memset(image + size - shrink, 0, shrink);
    }
    memcpy(image + value_at, value, n);
    image[value_at + n] = 0;
    return 0;
}

int backup_image_check_header(const uint8_t *image, size_t size) {
    if (size < kBackupHeaderLen) return kBackupHeaderShort;
    uint32_t len = get_le32(image + 4);
    if (memcmp(image, "FLSH", 4) != 0 || len < kBackupHeaderLen || len > kBackupMaxLen)
        return kBackupHeaderBad;
    return kBackupHeaderOk;
}

int backup_image_replace(uint8_t *image, size_t size, const char *name, const char *value) {
    int header = backup_image_check_header(image, size);
    if (header != kBackupHeaderOk) return header;
    size_t name_len = strlen(name), value_len = strlen(value);
    size_t want = name_len + 1 + value_len;  // the new entry without its NUL
    int replaced = 0;
    size_t pos = kBackupHeaderLen;
    while (pos < size && image[pos] != 0) {
        const uint8_t *nul = static_cast<const uint8_t *>(memchr(image + pos, 0, size - pos));
        if (!nul) break;  // runs to the end of the image: no whole entry left
        size_t end = static_cast<size_t>(nul - image), len = end - pos;
        if (len <= kBackupMaxEntry && len == want && name_len > 0 &&
            memcmp(image + pos, name, name_len) == 0 && image[pos + name_len] == '=' &&
            !memchr(image + pos, '=', name_len)) {
            memcpy(image + pos + name_len + 1, value, value_len);
            ++replaced;
        }
        pos = end + 1;
    }
    return replaced;
}
