// Edits of the backup store's image (common/backup_image.h) whatever it holds.
// The agent's resizing edit: a failed edit leaves the image as it was; a successful one
// changes the value of the first entry of that name (bytes of 128 and above in an entry's
// name do not count) and nothing else in the list.
// The factory tool's same-length edit: never changes the image's size, the header or any byte
// outside the values of entries named exactly `name` (at most 1023 characters long, of the
// new entry's length); a bad header changes nothing; every such entry ends up with `value`.
//
// Input: mode byte (bit 0: the target lays out the image: entries as pieces, then a padding
// length; bit 1: the same-length edit), name piece, value piece, then the image (raw mode) or
// the entries.
#include <cstring>
#include <string>

#include "common/backup_image.h"
#include "fuzz/fuzz_support.h"

namespace {

constexpr size_t kEntriesStart = 20;

std::string text_of(const FuzzBytes &b) {
    std::string s;
    for (uint8_t c : b)
        if (c != 0) s.push_back(static_cast<char>(c));
    return s;
}

// The strings of the list: from offset 20 up to the empty string or the end of the image.
// `open` tells whether the last one runs to the end of the image without a terminator.
std::vector<std::string> entries(const FuzzBytes &image, bool *open = nullptr) {
    std::vector<std::string> list;
    size_t pos = kEntriesStart;
    if (open) *open = false;
    while (pos < image.size() && image[pos] != 0) {
        size_t end = pos;
        while (end < image.size() && image[end] != 0)
            ++end;
        list.emplace_back(reinterpret_cast<const char *>(image.data() + pos), end - pos);
        if (open) *open = end == image.size();
        pos = end + 1;
    }
    return list;
}

// The entry's name: what comes before its first "=", bytes of 128 and above left out (the
// store's own writer never puts them in a name). False without "=".
bool name_of(const std::string &entry, std::string *name) {
    size_t eq = entry.find('=');
    if (eq == std::string::npos) return false;
    name->clear();
    for (size_t i = 0; i < eq; ++i)
        if (static_cast<uint8_t>(entry[i]) < 128) name->push_back(entry[i]);
    return true;
}

// Checks backup_image_replace() against a plain reading of the list.
void same_length_edit(FuzzBytes &image, const std::string &name, const std::string &value) {
    FuzzBytes before = image;
    int r = backup_image_replace(image.data(), image.size(), name.c_str(), value.c_str());
    if (r < 0) {
        FUZZ_CHECK(r == kBackupHeaderShort || r == kBackupHeaderBad);
        FUZZ_CHECK(image == before);
        FUZZ_CHECK(backup_image_check_header(before.data(), before.size()) == r);
        return;
    }
    bool open = false;
    std::vector<std::string> old_list = entries(before, &open), new_list = entries(image);
    FUZZ_CHECK(old_list.size() == new_list.size());
    std::string wanted = name + "=" + value;
    int count = 0;
    size_t pos = kEntriesStart;
    for (size_t i = 0; i < old_list.size(); ++i) {
        const std::string &e = old_list[i];
        bool whole = !(open && i + 1 == old_list.size());
        bool match = whole && !name.empty() && e.size() <= kBackupMaxEntry &&
                     e.size() == wanted.size() && e.find('=') == name.size() &&
                     e.compare(0, name.size(), name) == 0;
        FUZZ_CHECK(new_list[i] == (match ? wanted : e));
        count += match;
        pos += e.size() + 1;
    }
    FUZZ_CHECK(r == count);
    // Nothing after the list (the empty string and the padding) changes.
    if (pos < image.size())
        FUZZ_CHECK(fuzz_same(image.data() + pos, before.data() + pos, image.size() - pos));
    FUZZ_CHECK(fuzz_same(image.data(), before.data(), kEntriesStart));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz_init();
    FuzzInput in(data, size);
    uint8_t mode = in.u8();
    bool built = mode & 1;
    std::string name = text_of(in.piece());
    std::string value = text_of(in.piece());
    FuzzBytes image;
    if (built) {
        image = {'F', 'L', 'S', 'H', 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
        for (int n = in.u8() % 32; n > 0; --n) {
            std::string e = text_of(in.piece());
            image.insert(image.end(), e.begin(), e.end());
            image.push_back(0);
        }
        image.resize(image.size() + in.u16() % 600, 0);
        image[4] = static_cast<uint8_t>(image.size());
        image[5] = static_cast<uint8_t>(image.size() >> 8);
    } else {
        image = in.rest();
    }
    FuzzBytes before = image;
    if (mode & 2) {
        same_length_edit(image, name, value);
        return 0;
    }
    int r = backup_image_set(image.data(), image.size(), name.c_str(), value.c_str());
    if (r != 0) {
        FUZZ_CHECK(r == -1 || r == -2);
        FUZZ_CHECK(image == before);  // a failed edit changes nothing
        return 0;
    }
    FUZZ_CHECK(!name.empty());
    bool open = false;
    std::vector<std::string> want = entries(before, &open);
    bool done = false;
    for (size_t i = 0; i < want.size() && !done; ++i) {
        std::string entry_name;
        // Only a terminated entry can be edited.
        if (open && i + 1 == want.size()) break;
        if (name_of(want[i], &entry_name) && entry_name == name) {
            want[i] = want[i].substr(0, want[i].find('=') + 1) + value;
            done = true;
        }
    }
    FUZZ_CHECK(done);
    FUZZ_CHECK(entries(image) == want);
    FUZZ_CHECK(fuzz_same(image.data(), before.data(),
                         kEntriesStart < image.size() ? kEntriesStart : image.size()));
    return 0;
}
