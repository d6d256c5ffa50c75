// The TRX check of the downloaded image, read in large blocks (the CRC runs at memory speed).
#include <unistd.h>

#include <cstdlib>

#include "common/crc32.h"
#include "common/trx.h"
#include "rmagent/trace.h"
#include "rmagent/upgrade.h"

namespace {

constexpr size_t kCheckBlock = 32768;

// Reads up to `len` bytes at `at`; returns the bytes read (short at the end of the file).
size_t read_at(int fd, uint8_t *buf, size_t len, off_t at) {
    size_t got = 0;
    while (got < len) {
        ssize_t n = pread(fd, buf + got, len - got, at + static_cast<off_t>(got));
        if (n <= 0) break;
        got += static_cast<size_t>(n);
    }
    return got;
}

}  // namespace

int rcm_check_image(int fd, uint32_t size) {
    uint8_t head[kTrxHeaderLen];
    size_t got = read_at(fd, head, sizeof head, 0);
    trx_header h;
    if (!trx_parse_header(head, got, &h)) {
        rcm_debug("Truncated file (actual %ld expect %ld)\n", static_cast<long>(got),
                  static_cast<long>(kTrxHeaderLen));
        return -1;
    }
    // Bytes past the header's length would be flashed unchecked.
    if (!trx_header_sane(h) || h.len < size) {
        rcm_debug("Bad trx header\n");
        return -1;
    }
    uint8_t *buf = static_cast<uint8_t *>(malloc(kCheckBlock));
    if (!buf) {
        rcm_debug("low memory .. \n");
        return -1;
    }
    uint32_t crc = trx_crc_begin(head);
    uint32_t done = kTrxHeaderLen;
    while (done < h.len) {
        size_t want = h.len - done < kCheckBlock ? h.len - done : kCheckBlock;
        size_t n = read_at(fd, buf, want, done);
        crc = crc32_update(crc, buf, n);
        done += static_cast<uint32_t>(n);
        if (n < want) break;
    }
    free(buf);
    if (done < h.len) {
        rcm_debug("Truncated file (actual %ld expect %ld)\n", static_cast<long>(done),
                  static_cast<long>(h.len));
        return -1;
    }
    if (crc != h.crc) {
        rcm_debug("Bad CRC\n");
        return -1;
    }
    rcm_debug("CRC OK %08x \n", crc);
    return 0;
}
