#include "modemd/crc_frame.h"

#include <unistd.h>

#include "common/fcs16.h"
#include "common/stuffing.h"
#include "modemd/modem_port.h"
#include "modemd/port_capture.h"

int crc_frame_write(CrcFrameBuffers *bufs, int fd, const uint8_t *data, int len) {
    if (!modem_port_ok(fd) || len < 0) return -1;
    int n = stuff_frame(data, static_cast<size_t>(len), kStuffFcs, bufs->tx, sizeof bufs->tx);
    if (n < 0) return -1;
    ssize_t w = write(fd, bufs->tx, static_cast<size_t>(n));
    if (w > 0) port_capture_sent(bufs->tx, static_cast<size_t>(w));
    return w == n ? n + 1 : -1;
}

int crc_frame_read(CrcFrameBuffers *bufs, int fd, uint8_t *out, int cap) {
    ssize_t n = modem_port_read(fd, bufs->rx, sizeof bufs->rx - 1);
    if (n < 0) return -1;
    return crc_frame_decode(bufs->rx, static_cast<size_t>(n), out, cap);
}

int crc_frame_decode(const uint8_t *raw, size_t n, uint8_t *out, int cap) {
    if (n < kCrcFrameMinRead || cap < 0 || n > static_cast<size_t>(cap)) return -1;
    size_t len = unstuff(raw, n - 1, out);  // without the flag
    if (!fcs16_good(out, len)) return -1;
    return static_cast<int>(len - kStuffFcsBytes);
}
