#include "modemd/crc_frame.h"

#include <unistd.h>

#include "common/bytes.h"
#include "modemd/cns.h"
#include "modemd/modem_port.h"
#include "platform/utils.h"

int crc_frame_write(CrcFrameBuffers *bufs, int fd, uint8_t *data, int len) {
    if (!modem_port_ok(fd) || len < 0) return -1;
    uint16_t fcs = static_cast<uint16_t>(~crc16(data, static_cast<size_t>(len), 0xFFFF));
    put_le16(data + len, fcs);
    size_t flen = 0;
    if (cns_encode(data, static_cast<size_t>(len) + 2, bufs->tx, sizeof bufs->tx, &flen) < 0)
        return -1;
    ssize_t n = write(fd, bufs->tx + 1, flen - 1);
    return n == static_cast<ssize_t>(flen - 1) ? static_cast<int>(flen) : -1;
}

int crc_frame_read(CrcFrameBuffers *bufs, int fd, uint8_t *out, int cap) {
    ssize_t n = modem_port_read(fd, bufs->rx + 1, sizeof bufs->rx - 1);
    if (n < kCrcFrameMinRead || n > cap) return -1;
    bufs->rx[0] = kCnsFlag;  // the flag the card does not send
    size_t len = 0;
    cns_decode(bufs->rx, static_cast<size_t>(n) + 1, out, &len);
    if (len < 2) return -1;
    size_t data_len = len - 2;
    uint16_t fcs = static_cast<uint16_t>(~crc16(out, data_len, 0xFFFF));
    if (get_le16(out + data_len) != fcs) return -1;
    return static_cast<int>(data_len);
}
