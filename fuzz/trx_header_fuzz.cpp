// The TRX header and the agent's image check, against the image builder's own checker (its
// CRC is separate bitwise code): for any bytes, the agent takes the image exactly when the
// builder's checker calls it good; and the header reads back as it was written.
// Links: rmagent_core, trx_image, platform, common.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/crc32.h"
#include "common/trx.h"
#include "rmagent/upgrade.h"
#include "tools/trx_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 65536) return 0;
    trx_header h;
    if (trx_parse_header(data, size, &h)) {
        uint8_t again[kTrxHeaderLen];
        trx_put_header(again, h);
        if (memcmp(again, data, kTrxHeaderLen) != 0) abort();
        if (trx_header_sane(h) != (h.magic == kTrxMagic && h.len >= 28 && h.len <= kTrxMaxLen))
            abort();
        if (trx_crc_begin(data) != crc32_update(0xFFFFFFFFu, data + 12, 16)) abort();
    } else if (size >= kTrxHeaderLen) {
        abort();
    }
    int fd = memfd_create("trx", 0);
    if (fd < 0) return 0;
    if (write(fd, data, size) != static_cast<ssize_t>(size)) {
        close(fd);
        return 0;
    }
    int agent = rcm_check_image(fd, static_cast<uint32_t>(size));
    close(fd);
    bool builder = trx_verify(std::vector<uint8_t>(data, data + size)).good;
    if ((agent == 0) != builder) abort();
    return 0;
}
