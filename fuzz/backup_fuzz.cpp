// Edits of the backup store's image (rmagent/backup_store.h) whatever it holds. A failed edit
// leaves the image as it was; a successful one changes the value of the first entry of that
// name (bytes of 128 and above in an entry's name do not count) and nothing else in the list.
//
// Input: mode byte (bit 0: the target lays out the image: entries as pieces, then a padding
// length), name piece, value piece, then the image (raw mode) or the entries.
#include <cstring>
#include <string>

#include "fuzz/fuzz_support.h"
#include "rmagent/backup_store.h"

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
        while (end < image.size() && image[end] != 0) ++end;
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz_init();
    FuzzInput in(data, size);
    bool built = in.u8() & 1;
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
    FUZZ_CHECK(fuzz_same(image.data(), before.data(), kEntriesStart < image.size() ? kEntriesStart
                                                                                    : image.size()));
    return 0;
}
