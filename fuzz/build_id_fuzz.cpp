// The extended build id answer: each text is bounded by the end of the answer and by its cap,
// and comes out terminated. Input: byte 0 the build text's cap, byte 1 the model text's (0-63
// each), the rest the answer. The outputs are heap blocks of exactly their cap, so a write past
// one is caught by the sanitizer.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "common/bytes.h"
#include "modemd/diag/diag_radio.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    size_t build_cap = data[0] & 63, model_cap = data[1] & 63;
    const uint8_t *r = data + 2;
    size_t len = size - 2;
    char *build = static_cast<char *>(malloc(build_cap ? build_cap : 1));
    char *model = static_cast<char *>(malloc(model_cap ? model_cap : 1));
    uint32_t msm = 0, model_id = 0;
    int status = diag_build_id_parse(r, len, &msm, &model_id, build, build_cap, model, model_cap);
    if (len < 12 || r[0] != 0x7C) {
        if (status != 11) abort();
    } else {
        if (msm != get_le32(r + 4) || model_id != get_le32(r + 8)) abort();
        if (status != 0 && status != 13) abort();
    }
    if (status == 0) {
        size_t b = strlen(build), m = strlen(model);
        if (b >= build_cap || m >= model_cap) abort();
        if (std::memcmp(build, r + 12, b) != 0) abort();
        // The model text follows the build text's terminator, within the answer.
        if (m && (12 + b + 1 + m > len || std::memcmp(model, r + 12 + b + 1, m) != 0)) abort();
    }
    free(build);
    free(model);
    return 0;
}
