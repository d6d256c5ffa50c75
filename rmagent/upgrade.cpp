#include "rmagent/upgrade.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include "common/bytes.h"
#include "common/trx.h"
#include "platform/env.h"
#include "platform/memory.h"
#include "platform/process.h"
#include "platform/router_root.h"
#include "rmagent/protocol.h"
#include "rmagent/trace.h"
#include "rmagent/transport.h"

namespace {

struct fragment_slot {
    bool busy;
    uint16_t index;          // the fragment it waits for
    unsigned long deadline;  // env_now_ms() of the repeat request
};

struct download {
    rcm_session *s;
    int fd;
    uint32_t total;
    uint16_t count;
    uint32_t next;     // the next index to request
    uint32_t written;  // fragments written
    unsigned long last_progress;
    fragment_slot slots[kFragmentSlots];
};

// Step 2: requests for free slots and repeats for the ones whose deadline has come.
int request_pass(download *d) {
    unsigned long now = env_now_ms();
    for (fragment_slot &slot : d->slots) {
        if (!slot.busy) {
            if (d->next >= d->count) continue;
            if (rcm_request_fragment(d->s, static_cast<uint16_t>(d->next)) < 0) return -1;
            slot.busy = true;
            slot.index = static_cast<uint16_t>(d->next++);
            slot.deadline = now + kRepeatMs;
        } else if (env_ms_until(slot.deadline, now) <= 0) {
            rcm_debug("!");
            if (rcm_request_fragment(d->s, slot.index) < 0) return -1;
            slot.deadline = now + kRepeatMs;
        }
    }
    return 0;
}

fragment_slot *waiting_for(download *d, uint16_t index) {
    for (fragment_slot &slot : d->slots)
        if (slot.busy && slot.index == index) return &slot;
    return nullptr;
}

// Takes one datagram of the receive pass. 1 when a fragment was written, 0 when the datagram
// was dropped, -1 when the file could not be written.
int take_fragment(download *d) {
    rcm_session *s = d->s;
    int n = rcm_receive(s);
    if (n < 0 || !rcm_from_server(s)) return 0;
    fragment_reply f;
    FragmentParse parsed = rcm_parse_fragment(s->rx_buf, static_cast<size_t>(n), &f);
    if (parsed == kFragmentIgnored) return 0;
    if (parsed == kFragmentBadLength) {
        rcm_debug("fragment payloadlen %u beyond the datagram (%d bytes) .. \n",
                  get_be16(s->rx_buf + 34), n);
        return 0;
    }
    fragment_slot *slot = waiting_for(d, f.index);
    if (!slot) {
        rcm_debug("*");
        return 0;
    }
    uint32_t share = rcm_fragment_share(f.index, d->count, d->total);
    if (f.data_len != share) {
        rcm_debug("fragment %u carries %u bytes, not %u .. \n", f.index,
                  static_cast<unsigned>(f.data_len), share);
        return 0;
    }
    off_t at = static_cast<off_t>(f.index) * kFragmentSize;
    ssize_t w = pwrite(d->fd, f.data, f.data_len, at);
    if (w != static_cast<ssize_t>(f.data_len)) {
        rcm_debug("write of fragment %u failed .. \n", f.index);
        return -1;
    }
    slot->busy = false;
    ++d->written;
    d->last_progress = env_now_ms();
    rcm_debug("#");
    return 1;
}

// Step 3: waits up to a second at a time for datagrams until one fragment is written. The
// pass also ends after a second by the clock, so that a stream of stray datagrams cannot
// hold back the repeats and the give-up.
int receive_pass(download *d) {
    unsigned long until = env_now_ms() + 1000;
    while (env_ms_until(until, env_now_ms()) > 0 && waitfor(d->s->sock, 1) > 0) {
        int r = take_fragment(d);
        if (r != 0) return r < 0 ? -1 : 0;
    }
    return 0;
}

int fetch(download *d) {
    while (d->written < d->count) {
        if (request_pass(d) < 0) {
            rcm_debug("sendto fail .. \n");
            return -1;
        }
        if (receive_pass(d) < 0) return -1;
        if (d->written < d->count &&
            env_ms_until(d->last_progress + kGiveUpMs, env_now_ms()) <= 0) {
            rcm_debug("no fragment for %lu seconds: download given up (%u of %u) .. \n",
                      kGiveUpMs / 1000, d->written, d->count);
            return -1;
        }
    }
    rcm_debug("OK!\n");
    return 0;
}

void remove_image() {
    RouterPath path(kFirmwarePath);
    if (path.ok()) unlink(path.c_str());
}

}  // namespace

UpgradeCmdParse rcm_parse_upgrade_cmd(const uint8_t *buf, size_t len, uint16_t *count,
                                      uint32_t *total) {
    if (len < kRcmHeaderLen + 8) return kUpgradeShort;
    uint16_t payloadlen = get_be16(buf + 34);
    if (payloadlen < 8 || kRcmHeaderLen + payloadlen > len) return kUpgradeShort;
    *count = get_be16(buf + kRcmHeaderLen + 2);
    *total = get_be32(buf + kRcmHeaderLen + 4);
    if (*total < kTrxHeaderLen || *total > kTrxMaxLen) return kUpgradeBadTotal;
    if (*count != (*total + kFragmentSize - 1) / kFragmentSize) return kUpgradeBadCount;
    return kUpgradeOk;
}

FragmentParse rcm_parse_fragment(const uint8_t *buf, size_t len, fragment_reply *out) {
    if (len < kRcmHeaderLen) return kFragmentIgnored;
    uint16_t payloadlen = get_be16(buf + 34);
    if (payloadlen < 5) return kFragmentIgnored;
    if (kRcmHeaderLen + payloadlen > len) return kFragmentBadLength;
    out->index = get_be16(buf + kRcmHeaderLen);
    out->data = buf + kRcmHeaderLen + 4;
    out->data_len = payloadlen - 4u;
    return kFragmentOk;
}

uint32_t rcm_fragment_share(uint16_t index, uint16_t count, uint32_t total) {
    if (index >= count) return 0;
    if (index + 1u < count) return kFragmentSize;
    return total - static_cast<uint32_t>(index) * kFragmentSize;
}

int rcm_request_fragment(rcm_session *s, uint16_t index) {
    size_t len = rcm_build_fragment_request(s, index);
    return rcm_send(s, s->tx_buf, len) < 0 ? -1 : 0;
}

int do_rcm_download_firmware(rcm_session *s, uint32_t total, uint16_t count) {
    rcm_debug("Begin to download firmware form RCM server totlen = %d , fragment = %d ... \n",
              static_cast<int>(total), count);
    RouterPath path(kFirmwarePath);
    int fd = path.ok() ? open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644) : -1;
    if (fd < 0) {
        rcm_debug("cannot open %s .. \n", kFirmwarePath);
        return -1;
    }
    download d{};
    d.s = s;
    d.fd = fd;
    d.total = total;
    d.count = count;
    d.last_progress = env_now_ms();
    int rc = fetch(&d);
    if (rc == 0) rc = rcm_check_image(fd, total);
    close(fd);
    return rc;
}

int do_rcm_upgrade(void) {
    char *argv[] = {const_cast<char *>("mtd"), const_cast<char *>("upgrade_trx"),
                    const_cast<char *>(kFirmwarePath), const_cast<char *>("linux"), nullptr};
    int status = _eval(argv, nullptr, 0, nullptr);
    if (status != -1) rcm_debug("done\n");
    remove_image();
    return status;
}

void rcm_upgradecmd_func(rcm_session *s) {
    uint16_t count = 0;
    uint32_t total = 0;
    UpgradeCmdParse parsed =
        rcm_parse_upgrade_cmd(s->rx_buf, static_cast<size_t>(s->rx_len), &count, &total);
    if (parsed != kUpgradeOk) {
        rcm_debug("bad upgrade command (fragments %u, totlen %u) .. \n", count,
                  static_cast<unsigned>(total));
        return;
    }
    if (!check_memory_avalid(static_cast<uint64_t>(total) + kFragmentSize)) {
        rcm_debug("low memory .. \n");
        return;
    }
    size_t len = rcm_build_ack(s, s->rx_buf);
    if (rcm_send_to(s, s->tx_buf, len, s->reply_addr) < 0) rcm_debug("sendto fail .. \n");
    if (do_rcm_download_firmware(s, total, count) < 0) {
        rcm_debug("do_rcm_download_firmware fail ... \n");
        remove_image();
        return;  // nothing checked out: mtd is never started
    }
    if (do_rcm_upgrade() != 0) {
        rcm_debug("firmware not flashed .. \n");
        return;
    }
    // signal_init says on the console when no init could be signalled.
    (void)signal_init(SIGTERM);
    env_reboot_wait();
}
