// The factory tool's same-length edit of the backup store image, case by case.
#include "common/backup_image.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Header with `len` as the used length, then the entries as given (NULs included).
std::string image(const std::string &entries, uint32_t len = 64, const char *magic = "FLSH") {
    std::string img(magic, 4);
    for (int i = 0; i < 4; ++i)
        img.push_back(static_cast<char>(len >> (8 * i)));
    img += std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c", 12);
    return img + entries;
}

std::string s(const char *text, size_t n) {
    return std::string(text, n);
}

struct Case {
    const char *what;
    std::string before;
    const char *name;
    const char *value;
    int result;
    std::string after;  // empty: unchanged
};

TEST(BackupImageReplace, Cases) {
    std::string big(1021, 'x');  // "SN=" + 1021 = 1024 characters
    const std::string w1020(1020, 'w'), w1021(1021, 'w');
    const Case cases[] = {
        {"every same-length match", image(s("SN=ZD0000000001\0a=1\0SN=ZD0000000002\0\0", 36)), "SN",
         "ZD0399999999", 2, image(s("SN=ZD0399999999\0a=1\0SN=ZD0399999999\0\0", 36))},
        {"SNX and S untouched", image(s("SNX=ZD0000000001\0S=ZD0000000001\0\0", 33)), "SN",
         "ZD0399999999", 0, ""},
        {"another length untouched", image(s("SN=ZD01\0\0", 9)), "SN", "ZD0399999999", 0, ""},
        {"entry without = skipped", image(s("SN\0SN=AB\0\0", 10)), "SN", "CD", 1,
         image(s("SN\0SN=CD\0\0", 10))},
        {"scan ends at the empty string", image(s("a=1\0\0SN=AB\0", 11)), "SN", "CD", 0, ""},
        {"no terminating empty string", image(s("SN=AB\0SN=AB", 11)), "SN", "CD", 1,
         image(s("SN=CD\0SN=AB", 11))},
        {"over-long entry hides SN= at byte 1024",
         image("k=" + std::string(1021, 'y') + s("SN=AB\0SN=AB\0\0", 13)), "SN", "CD", 1,
         image("k=" + std::string(1021, 'y') + s("SN=AB\0SN=CD\0\0", 13))},
        {"entry of 1023 characters still edited",
         image("SN=" + std::string(1020, 'v') + s("\0\0", 2)), "SN", w1020.c_str(), 1,
         image("SN=" + std::string(1020, 'w') + s("\0\0", 2))},
        {"entry of 1024 characters skipped", image("SN=" + big + s("\0\0", 2)), "SN", w1021.c_str(),
         0, ""},
        {"19 bytes", image("").substr(0, 19), "SN", "AB", kBackupHeaderShort, ""},
        {"other magic", image(s("SN=AB\0\0", 7), 64, "FLSX"), "SN", "CD", kBackupHeaderBad, ""},
        {"length 19", image(s("SN=AB\0\0", 7), 19), "SN", "CD", kBackupHeaderBad, ""},
        {"length 131073", image(s("SN=AB\0\0", 7), 131073), "SN", "CD", kBackupHeaderBad, ""},
        {"length 131072", image(s("SN=AB\0\0", 7), 131072), "SN", "CD", 1,
         image(s("SN=CD\0\0", 7), 131072)},
        {"length 20, header only", image("", 20), "SN", "CD", 0, ""},
    };
    for (const Case &c : cases) {
        std::string img = c.before;
        int r = backup_image_replace(reinterpret_cast<uint8_t *>(img.data()), img.size(), c.name,
                                     c.value);
        EXPECT_EQ(c.result, r) << c.what;
        EXPECT_EQ(c.after.empty() ? c.before : c.after, img) << c.what;
    }
}

TEST(BackupImageReplace, HeaderCheckAlone) {
    std::string ok = image("", 20);
    EXPECT_EQ(kBackupHeaderOk,
              backup_image_check_header(reinterpret_cast<const uint8_t *>(ok.data()), ok.size()));
    EXPECT_EQ(kBackupHeaderShort,
              backup_image_check_header(reinterpret_cast<const uint8_t *>(ok.data()), 19));
}

}  // namespace
