// Firmware download and upgrade: the server's upgrade command (oid 0x0100) pulls an image in
// numbered 1024-byte fragments over the session socket, up to 32 requests in flight, into the
// file "/tmp/firmware.download"; a checked image goes to the flash writer `mtd` and init is
// told to reboot. The whole transfer runs inside the socket handler and blocks the event loop
// (main thread only); its waits and clock go through platform/env.
//
// Upgrade command payload (big-endian):   Fragment reply payload (server to agent):
//   0  2  not used                          0  2  fragment index
//   2  2  fragment count                    2  2  not used
//   4  4  total image length                4  .. the fragment's data: 1024 bytes, the rest
//                                                  of the total for the last fragment
#pragma once

#include <cstddef>
#include <cstdint>

#include "rmagent/session.h"

inline constexpr char kFirmwarePath[] = "/tmp/firmware.download";
inline constexpr uint32_t kFragmentSize = 1024;
inline constexpr int kFragmentSlots = 32;
inline constexpr unsigned long kRepeatMs = 10000;  // a fragment not come is asked again
inline constexpr unsigned long kGiveUpMs = 60000;  // no new fragment for this long: failed

enum UpgradeCmdParse {
    kUpgradeOk = 0,
    kUpgradeShort = -1,
    kUpgradeBadTotal = -2,
    kUpgradeBadCount = -3
};

// Reads an upgrade command (the whole datagram, header included) of `len` bytes: its
// payloadlen must reach 8 and lie within the datagram, 28 <= total <= 7864320 and
// count = ceil(total / 1024).
[[nodiscard]] UpgradeCmdParse rcm_parse_upgrade_cmd(const uint8_t *buf, size_t len, uint16_t *count,
                                                    uint32_t *total);

enum FragmentParse {
    kFragmentOk = 0,
    kFragmentIgnored = -1,   // under 36 bytes or payloadlen below 5: dropped without a word
    kFragmentBadLength = -2  // payloadlen beyond the datagram
};

struct fragment_reply {
    uint16_t index;
    const uint8_t *data;  // within the datagram
    size_t data_len;
};

// Reads a fragment reply of `len` bytes (header included).
[[nodiscard]] FragmentParse rcm_parse_fragment(const uint8_t *buf, size_t len, fragment_reply *out);

// The bytes fragment `index` of an image of `total` bytes in `count` fragments must carry:
// 1024, the rest for the last; 0 for an index beyond the image.
uint32_t rcm_fragment_share(uint16_t index, uint16_t count, uint32_t total);

// Handles the upgrade command in rx_buf: checks it, asks for the memory, acknowledges it,
// downloads, checks and flashes; after a good flash, SIGTERM to init and the wait for the
// reboot. Any failure returns to the session as it was.
void rcm_upgradecmd_func(rcm_session *s);

// Pulls the image into the file and checks it. 0 on a good image, -1 otherwise.
[[nodiscard]] int do_rcm_download_firmware(rcm_session *s, uint32_t total, uint16_t count);

// Sends a fragment request for `index` with the current seq, then increments seq. 0, or -1
// when the send fails.
[[nodiscard]] int rcm_request_fragment(rcm_session *s, uint16_t index);

// Checks the TRX image of `size` bytes in the open file `fd`: a sane header whose length is
// exactly `size`, and the CRC over bytes 12 .. length-1 (whatever flag bit 0 says). Debug
// lines say why an image is refused. 0 when it checks out, -1 otherwise.
[[nodiscard]] int rcm_check_image(int fd, uint32_t size);

// Runs "mtd upgrade_trx /tmp/firmware.download linux" and waits for it; removes the file in
// every case. Returns the wait status (0 is success), or -1 when mtd could not be started.
[[nodiscard]] int do_rcm_upgrade(void);
