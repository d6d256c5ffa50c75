// The Ethernet pieces the factory tool's Ethernet test reads: PHY registers through the
// Ethernet driver's private request, and the switch driver "/dev/adm". Under a router root
// the PHY of an interface is the file "/sys/class/net/IF/phy" (lines "REG 0xVALUE"; absent:
// the request fails with EOPNOTSUPP; an unlisted register reads 0xffff) and "/dev/adm" is a
// plain text file (absent: the open fails; line "id 0xWORD" answers the chip id request, line
// "ports S0 S1 S2 S3 S4 S5" the port table; a missing line fails that request with EIO).
// Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr unsigned long kEthPhyRead = 0x89F9;        // data: register in, value out
inline constexpr unsigned long kAdmChipId = 0x40046100;     // one 32-bit word
inline constexpr unsigned long kAdmPortTable = 0x40C06102;  // six 32-byte port records
inline constexpr size_t kAdmPortRecords = 6;
inline constexpr size_t kAdmPortRecordLen = 32;
inline constexpr size_t kAdmPortStatusAt = 4;

// Reads PHY register `reg` of interface `ifname` through socket `sock`. 0, or -1 with errno.
[[nodiscard]] int ethdev_phy_read(int sock, const char *ifname, uint32_t reg, uint32_t *value);

// "/dev/adm" opened for reading and writing, or -1 with errno set.
[[nodiscard]] int adm_open(void);
[[nodiscard]] int adm_chip_id(int fd, uint32_t *id);
// The port table: 192 bytes, the status word of each record at byte 4 (host order).
[[nodiscard]] int adm_port_table(int fd, uint8_t table[kAdmPortRecords * kAdmPortRecordLen]);
