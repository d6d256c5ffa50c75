// The wireless driver's private ioctl and the text form of a hardware address. Reentrant;
// safe from any thread.
#pragma once

#include <cstdint>

// Driver requests the programs use.
inline constexpr int kWlcGetVar = 262;   // buffer: "name\0" in, the variable's value out
inline constexpr int kWlcGetRssi = 127;  // 12 bytes: int32 value out, station address in

// Issues driver request `cmd` on interface `ifname` with `len` bytes of `buf` (in and out).
// Returns 0, or -1 with errno set. On a development host (a router root is set) there is no
// radio driver: it fails with ENODEV and never sends a private ioctl to a host interface.
[[nodiscard]] int wl_ioctl(const char *ifname, int cmd, void *buf, int len);

// Writes "XX:XX:XX:XX:XX:XX" (upper-case hex) for the 6 bytes at `ea` into `buf` (18 bytes).
char *ether_etoa(const uint8_t *ea, char *buf);
