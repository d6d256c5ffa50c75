// The card's answer to an NV item read or write: taken only when it repeats the command and is
// exactly 133 bytes, and then field for field; otherwise the caller's record is left alone.
// Input: byte 0 picks the command (even: 0x26, odd: 0x27), the rest is the answer.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "common/bytes.h"
#include "modemd/diag/diag_nv.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    uint8_t command = data[0] & 1 ? 0x27 : 0x26;
    const uint8_t *r = data + 1;
    size_t len = size - 1;
    diag_nv_record record;
    std::memset(&record, 0xA5, sizeof record);
    diag_nv_record before = record;
    int status = diag_nv_take_response(command, r, len, &record);
    bool well_formed = len == 133 && r[0] == command;
    if ((status == 0) != well_formed) abort();
    if (status != 0) {
        if (status != 11 || std::memcmp(&before, &record, sizeof record) != 0) abort();
        return 0;
    }
    if (record.item != get_le16(r + 1) || record.nv_status != get_le16(r + 131) ||
        std::memcmp(record.item_data, r + 3, sizeof record.item_data) != 0)
        abort();
    return 0;
}
