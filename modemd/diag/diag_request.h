// Building blocks of the device operations: the subsystem request header and the checks of a
// response before an operation copies from it. Any thread but the reader thread.
//
// Subsystem request and response header (little-endian):
//   off  size  field
//   0    1     0x4B (subsystem command)
//   1    1     subsystem id: the card's vendor id (0x32 or 0xFA), or 0x0D (GPS), ...
//   2    2     command within the subsystem
#pragma once

#include <cstddef>
#include <cstdint>

#include "modemd/diag/diag_transaction.h"

inline constexpr uint8_t kDiagSubsysCommand = 0x4B;
inline constexpr size_t kDiagSubsysHeader = 4;

// The vendor subsystem id chosen by the card's model at start-up.
uint8_t diag_vendor_subsys_id();

void diag_put_subsys_header(uint8_t *request, uint8_t subsys, uint16_t command);

// 0 when the response holds at least min_len bytes; else 11 (an answer shorter than the part
// an operation reads is refused rather than read past its end).
[[nodiscard]] int diag_check_length(const DiagResponse &response, size_t min_len);

// 0 when the response repeats the request's subsystem header and holds at least min_len
// bytes; else 11.
[[nodiscard]] int diag_check_subsys(const DiagResponse &response, const uint8_t *request,
                                    size_t min_len);

// A subsystem transaction: sends request[0..length) (header already written), waits up to
// timeout_seconds and checks the answer's header and length as diag_check_subsys does.
[[nodiscard]] int diag_subsys_transact(uint8_t *request, size_t length, int timeout_seconds,
                                       size_t min_len, DiagResponse *response);
