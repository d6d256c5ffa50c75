// Identity of the card: its software version and its device information record. Each is one
// request transaction. Any thread but the reader thread.
//
// Software version answer (55 bytes): 0x00, then the 54-byte payload:
//   off  size  field
//   0    48    dates, times and version directory, as text
//   48   1     mobile model code
//   49   2     firmware revision, little-endian
//   51   3     further version bytes
//
// Device information request: 0x4B, vendor id, u16 11, six zero bytes (10 bytes sent); the
// answer repeats the header and carries the 100-byte record from its byte 4.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr size_t kDiagVersionPayloadSize = 54;
inline constexpr size_t kDiagVersionModelOffset = 48;
inline constexpr size_t kDiagVersionFirmwareOffset = 49;
inline constexpr size_t kDiagDeviceInfoSize = 100;

// The 54 payload bytes into out54. The answer must be exactly 55 bytes (else 11).
[[nodiscard]] int Diag_Get_Software_Version(uint8_t *out54);

// The 100-byte device information record into out100 (NULL gives 8).
[[nodiscard]] int Diag_Read_Device_Info(uint8_t *out100);
