// usbprobe's reading of a bus number (argument or bus directory name): never reads past the
// text, and agrees with strtol() wherever strtol's value fits an int; beyond, it clamps.
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "usbprobe/usbprobe.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    char *text = static_cast<char *>(malloc(size + 1));
    if (!text) return 0;
    memcpy(text, data, size);
    text[size] = '\0';
    int got = usb_parse_number(text);
    errno = 0;
    long long want = strtoll(text, nullptr, 10);
    if (errno == ERANGE || want > INT_MAX) want = want < 0 ? INT_MIN : INT_MAX;
    if (want < INT_MIN) want = INT_MIN;
    if (got != static_cast<int>(want)) abort();
    free(text);
    return 0;
}
