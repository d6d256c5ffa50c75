// The dial string item (NV 298): a length byte from the card above 127 is refused; otherwise
// the text is copied with a NUL only when the output has room. Input: byte 0 the output's size
// (0-255), then the item's data (128 bytes, zero where the input ends). The output is a heap
// block of exactly its size.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "modemd/diag/nv_items.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    size_t out_len = data[0];
    uint8_t item[128] = {};
    std::memcpy(item, data + 1, size - 1 < sizeof item ? size - 1 : sizeof item);
    char *out = static_cast<char *>(malloc(out_len ? out_len : 1));
    int status = nv_dial_string_take(item, out, out_len);
    size_t n = item[0];
    if (n > 127) {
        if (status != 11) abort();
    } else if (out_len <= n) {
        if (status != 13) abort();
    } else if (status != 0 || out[n] != '\0' || std::memcmp(out, item + 1, n) != 0) {
        abort();
    }
    free(out);
    return 0;
}
