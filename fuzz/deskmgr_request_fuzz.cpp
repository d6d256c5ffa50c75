// The desktop-manager request check: for any bytes, a request is taken exactly when it holds
// a whole header, no fewer bytes than its length field says and type 1; the length field is
// never trusted beyond that comparison; the response echoes the request's first seven bytes.
// Links: rmagent_core, platform, common.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "common/bytes.h"
#include "common/lan_records.h"
#include "rmagent/deskmgr.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 1024) return 0;  // one read of the service
    deskmgr_header h{};
    deskmgr_verdict v = deskmgr_check(data, size, &h);
    if (size < kDeskmgrHeaderSize) {
        if (v != kDeskmgrShort) abort();
        return 0;
    }
    uint32_t length = get_be32(data + 8);
    if (length > size) {
        if (v != kDeskmgrMismatch) abort();
        return 0;
    }
    if ((v == kDeskmgrTake) != (data[7] == 1) || (v != kDeskmgrTake && v != kDeskmgrNotRequest))
        abort();
    if (h.command != get_be16(data + 4) || h.length != length) abort();
    uint8_t out[kDeskmgrResponseSize];
    deskmgr_response_encode(h, 7, out);
    if (memcmp(out, data, 7) != 0 || out[7] != 2 || get_be32(out + 8) != 16 ||
        get_be32(out + 12) != 7)
        abort();
    return 0;
}
