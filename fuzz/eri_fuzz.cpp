// The ERI answer: a refusal (byte 4 nonzero) gives 1 and byte 5; a record only from an answer
// of exactly 91 bytes; anything else 11, with the outputs untouched.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "modemd/diag/diag_radio.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    uint8_t eri[87];
    std::memset(eri, 0xA5, sizeof eri);
    uint8_t error = 0xA5;
    int status = diag_eri_parse(data, size, eri, &error);
    if (size >= 5 && data[4] != 0 && size >= 6) {
        if (status != 1 || error != data[5]) abort();
    } else if (size == 91 && data[4] == 0) {
        if (status != 0 || std::memcmp(eri, data + 4, sizeof eri) != 0) abort();
    } else {
        if (status != 11 || error != 0xA5) abort();
    }
    if (status != 0)
        for (uint8_t b : eri)
            if (b != 0xA5) abort();
    return 0;
}
