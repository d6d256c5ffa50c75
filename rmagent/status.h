// The lists that end every status report: the DHCP server's leases and the wireless stations
// associated with the access point. Each is sent as variable batches. Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "rmagent/session.h"

// Lease file record (88 bytes): client hardware address (16, first 6 used), leased address
// (4, network order), remaining seconds (4, big-endian), host name (64).
inline constexpr size_t kLeaseRecordLen = 88;

// Formats the entry of the lease record at `rec` as "lan_lease<index>=..." into `out`;
// false for a record whose hardware address is all zero (skipped).
[[nodiscard]] bool lease_entry(const uint8_t *rec, int index, uint32_t uptime, char *out,
                               size_t size);

// Signals the DHCP server to write its lease file, then sends the leases and
// "lan_lease_maxunit=N". 0, or -1 when a batch fails.
[[nodiscard]] int do_send_dhcp_status(rcm_session *s, uint16_t oid);

// Sends the associated stations and "wl0_sta_maxunit=N". A radio that cannot be asked (no
// driver, no radio) has no stations. 0, or -1 when a batch fails.
[[nodiscard]] int do_send_wl_stalist(rcm_session *s, uint16_t oid);

// How the station list asks the wireless driver: wl_ioctl (platform/wireless.h); tests put a
// fake driver here and restore wl_ioctl.
extern int (*rcm_wl_ioctl)(const char *ifname, int cmd, void *buf, int len);
