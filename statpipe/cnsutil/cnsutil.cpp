#include "statpipe/cnsutil/cnsutil.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/bytes.h"
#include "common/stuffing.h"
#include "platform/env.h"

int fd_send = -1;
int fd_recv = -1;

namespace {

constexpr uint8_t kRequest = 0x2B;
constexpr uint8_t kAnswer = 0x6B;
constexpr uint8_t kGet = 1;
constexpr uint8_t kGetAnswer = 2;
constexpr uint8_t kAppId[4] = {0x78, 0x56, 0x34, 0x12};
constexpr int kGetFrameLen = 14;
constexpr int kSkipFrames = 4;  // notifications tolerated before a get's answer

CnsRx g_rx;

// The first byte at or after `from` that is not a flag.
size_t skip_flags(const CnsRx *rx, size_t from) {
    while (from < rx->len && rx->raw[from] == kStuffFlag)
        ++from;
    return from;
}

size_t find_flag(const CnsRx *rx, size_t from) {
    while (from < rx->len && rx->raw[from] != kStuffFlag)
        ++from;
    return from;
}

void drop_front(CnsRx *rx, size_t n) {
    memmove(rx->raw, rx->raw + n, rx->len - n);
    rx->len -= n;
}

}  // namespace

void cns_rx_reset(CnsRx *rx) {
    rx->len = 0;
}
size_t cns_rx_room(const CnsRx *rx) {
    return sizeof rx->raw - rx->len;
}
uint8_t *cns_rx_tail(CnsRx *rx) {
    return rx->raw + rx->len;
}
void cns_rx_added(CnsRx *rx, size_t n) {
    rx->len += n < cns_rx_room(rx) ? n : cns_rx_room(rx);
}

bool cns_rx_whole(const CnsRx *rx) {
    size_t start = skip_flags(rx, 0);
    return start < rx->len && find_flag(rx, start) < rx->len;
}

bool cns_rx_partial(const CnsRx *rx) {
    return skip_flags(rx, 0) < rx->len;
}

int cns_rx_take(CnsRx *rx, uint8_t *out, int cap) {
    for (;;) {
        size_t start = skip_flags(rx, 0);
        size_t end = find_flag(rx, start);
        if (end >= rx->len) {
            // No closing flag yet: keep the part begun, unless it already fills the buffer.
            drop_front(rx, start);
            if (rx->len == sizeof rx->raw) rx->len = 0;
            return 0;
        }
        // A frame's decoded length is at most its stuffed length: decode in place, then check.
        size_t n = unstuff(rx->raw + start, end - start, rx->raw + start);
        // Nothing left once the escapes are undone (a lone escape) is no frame either.
        bool fits = n > 0 && cap >= 0 && n <= static_cast<size_t>(cap) && n <= kCnsFrameMax;
        if (fits) memcpy(out, rx->raw + start, n);
        drop_front(rx, end);  // the closing flag stays: it may open the next frame
        if (fits) return static_cast<int>(n);
    }
}

int cns_send(int fd, const uint8_t *frame, int len, const uint8_t * /*app_id*/) {
    if (fd < 0 || len < 0) return -1;
    uint8_t raw[stuff_frame_max(kCnsFrameMax, kStuffOpenFlag)];
    int n = stuff_frame(frame, static_cast<size_t>(len), kStuffOpenFlag, raw, sizeof raw);
    if (n < 0) return -1;
    ssize_t w = write(fd, raw, static_cast<size_t>(n));
    return w == n ? len : -1;
}

bool cns_frame_buffered(void) {
    return cns_rx_whole(&g_rx);
}

void cns_forget(void) {
    cns_rx_reset(&g_rx);
}

int cns_recv(int fd, uint8_t *buf, int cap) {
    if (cap > kCnsFrameMax) cap = kCnsFrameMax;
    unsigned long deadline = env_now_ms() + kCnsRestMs;
    for (;;) {
        int n = cns_rx_take(&g_rx, buf, cap);
        if (n > 0) return n;
        if (fd < 0) return -1;
        long left = env_ms_until(deadline, env_now_ms());
        int w = left > 0 ? waitfor(fd, static_cast<int>((left + 999) / 1000)) : 0;
        if (w < 0) return -1;
        if (w == 0 || left <= 0) {
            cns_rx_reset(&g_rx);  // a part begun will not be finished
            return 0;
        }
        ssize_t r = read(fd, cns_rx_tail(&g_rx), cns_rx_room(&g_rx));
        if (r < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (r <= 0) return -1;
        cns_rx_added(&g_rx, static_cast<size_t>(r));
    }
}

int cns_get_int32(uint32_t *value, uint16_t object) {
    uint8_t req[kGetFrameLen] = {0, kGetFrameLen - 4, kRequest, 0};
    put_be16(req + 4, object);
    req[6] = kGet;
    memcpy(req + 8, kAppId, sizeof kAppId);
    if (cns_send(fd_send, req, kGetFrameLen, kAppId) != kGetFrameLen) return -1;
    uint8_t ans[kCnsFrameMax];
    for (int i = 0; i < kSkipFrames; ++i) {
        int n = cns_recv(fd_recv, ans, sizeof ans);
        if (n <= 0) return -1;
        if (n < kGetFrameLen || ans[2] != kAnswer || get_be16(ans + 4) != object ||
            memcmp(ans + 8, kAppId, sizeof kAppId) != 0)
            continue;  // a notification, or an answer to someone else
        if (ans[6] != kGetAnswer || get_be16(ans + 12) != 4 || n < kGetFrameLen + 4) return -1;
        *value = get_be32(ans + kGetFrameLen);
        return 4;
    }
    return -1;
}
