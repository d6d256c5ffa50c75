// The committed nvram image (platform/nvram_area.h), as read back from flash: whatever the
// bytes, decoding either refuses them or gives an area that encodes back to the very same
// image, whose every entry is found with its value. Images the target builds itself with a
// correct CRC-32 from well-formed entries are always taken.
//
// Input: mode byte; bit 0 clear: the rest is the image; set: entries as pieces (a name piece,
// then a value piece), framed by the target. Then, in both modes, a last name and value set
// through nvram_area_rewrite on the decoded area.
#include <cstring>
#include <memory>
#include <string>

#include "fuzz/fuzz_support.h"
#include "platform/nvram_area.h"

namespace {

std::string text_of(const FuzzBytes &b, bool name) {
    std::string s;
    for (uint8_t c : b)
        if (c != 0 && !(name && c == '=')) s.push_back(static_cast<char>(c));
    return s;
}

FuzzBytes image_of(const std::string &entries) {
    FuzzBytes img(12 + entries.size());
    memcpy(img.data(), "NVC1", 4);
    uint32_t len = static_cast<uint32_t>(entries.size());
    uint32_t crc = fuzz_crc32(reinterpret_cast<const uint8_t *>(entries.data()), entries.size());
    for (int i = 0; i < 4; ++i) {
        img[4 + i] = static_cast<uint8_t>(len >> (8 * i));
        img[8 + i] = static_cast<uint8_t>(crc >> (8 * i));
    }
    if (!entries.empty()) memcpy(img.data() + 12, entries.data(), entries.size());
    return img;
}

// Every entry of a decoded area is found, with the value of its first occurrence.
void check_entries(const NvramArea &area) {
    size_t used = nvram_area_extent(area);
    FUZZ_CHECK(used == area.used);
    for (size_t off = 0; off < used;) {
        const char *entry = area.data + off;
        size_t len = strlen(entry);
        const char *eq = strchr(entry, '=');
        FUZZ_CHECK(eq && eq != entry && off + len < used);
        std::string name(entry, eq);
        const char *found = nvram_area_find(area, name.c_str());
        FUZZ_CHECK(found != nullptr);
        // The first entry of that name decides.
        for (size_t o = 0; o <= off; o += strlen(area.data + o) + 1) {
            const char *e = area.data + o;
            if (strncmp(e, name.c_str(), name.size()) == 0 && e[name.size()] == '=') {
                FUZZ_CHECK(strcmp(found, e + name.size() + 1) == 0);
                break;
            }
        }
        off += len + 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz_init();
    FuzzInput in(data, size);
    bool built = in.u8() & 1;
    FuzzBytes image;
    std::string set_name, set_value;
    if (built) {
        std::string entries;
        int pairs = in.u8() % 64;
        for (int i = 0; i < pairs; ++i) {
            std::string name = text_of(in.piece(), true);
            std::string value = text_of(in.piece(), false);
            if (!name.empty()) entries += name + "=" + value + '\0';
        }
        image = image_of(entries);
        set_name = text_of(in.piece(), true);
        set_value = text_of(in.piece(), false);
    } else {
        image = in.rest();
        set_name = "lan_ipaddr";
        set_value = "192.168.1.1";
    }
    auto area = std::make_unique<NvramArea>();
    int r = nvram_image_decode(image.data(), image.size(), *area);
    if (built) FUZZ_CHECK(r == 0);
    if (r != 0) return 0;
    FuzzBytes again(12 + area->used);
    size_t n = nvram_image_encode(area->data, area->used, again.data());
    FUZZ_CHECK(n == image.size() && again == image);
    check_entries(*area);
    if (set_name.empty()) return 0;
    auto next = std::make_unique<NvramArea>();
    if (nvram_area_rewrite(*area, *next, set_name.c_str(), set_value.c_str()) != 0) return 0;
    const char *v = nvram_area_find(*next, set_name.c_str());
    FUZZ_CHECK(v && set_value == v);
    check_entries(*next);
    return 0;
}
