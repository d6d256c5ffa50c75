// The engine's asynchronous side: the card's event reports turned into client events (types
// 3, 6, 9, 13), over-the-air activation with its monitor thread, and the card's log mask.
//
// Event report body (after 0x60): u16 n, then events until n bytes are used. Each event:
//   u16 id word: bits 0-11 event id, bits 13-14 payload code, bit 15 set: 2-byte time stamp
//   (else 8-byte); the time stamp; the payload: none (code 0), 1 byte (1), 2 bytes (2), or a
//   length byte followed by that many bytes (3; the length does not count itself).
// Raised (type/code): 298 3/28; 2560 (1 byte v) 1,4,5,6,7,10,11,12,13 -> 6/0,4,5,7,8,2,3,9,10,
// 14 -> 6/11 (success, decision), 15 -> 6/12 (decision); 2562 (length-coded, v first) 2 ->
// 6/15 with done after more than two value-5 events, else 6/0; 7 -> 6/0; 5 -> 6/14 (retry);
// 11 -> done, 6/11 with success when the u32 after v is 0, else 6/12 (decision); 2565 -> 9/22
// when p[1] != 0 and p[2] == 0, else 9/23; 2574 (call record, slot 13 set) byte 1 in 0-3 or
// 7-11 -> 13/29 with that value, 12 -> 13/30 when u16 at 4 is 5, 13/31 when it is 4 and byte 8
// is 7 or 9. An event shorter than its handler reads is skipped; one running past the report
// ends the walk.
//
// Log configuration (0x73, 67 bytes): 73 00 00 00, u32 operation (4 read, 3 set), u32
// equipment 1, u32 last item 403, then (set) the 51 mask bytes. The answer: 73, u32 status at
// 8 (0 done), the mask from byte 20 (71 bytes in all).
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr int kDiagActivationBusy = 1;  // a monitor is running
inline constexpr int kDiagNoCarrier = 41;      // ActivateDevice without a carrier id
inline constexpr size_t kDiagLogMaskBuffer = 66;
inline constexpr size_t kDiagLogMaskEq1 = 51;
inline constexpr int kDiagAllLogCodes = -1;

// The parser (diag_set_event_report_parser installs it; diag_activation_init does).
void diag_event_report_parse(const uint8_t *body, size_t len);
// Installs the parser above. Called by Startup's caller or tests; idempotent.
void diag_activation_init();

// 8 unless 1 <= length <= 32, length is the text's length and every character is 0-9, * or #;
// request 0x35 (36 bytes, 7 s).
[[nodiscard]] int Diag_Start_Origination_Call(const char *digits, size_t length, uint16_t value);
// Vendor command 13 / 38 with the operation byte at 4 (5 bytes, 5 s): 8 for an operation above
// 255 or NULL out; 256 / 5 bytes from answer byte 4.
[[nodiscard]] int Diag_IOTA_CMD(unsigned operation, uint8_t *out256);
[[nodiscard]] int diag_oma_cmd(unsigned operation, uint8_t *out5);
// NV item 10033: a, b, c flags (bytes 0-2 nonzero), d byte 3, e u16 at 4; each optional (8 when
// all are NULL).
[[nodiscard]] int diag_oma_config_get(uint8_t *a, uint8_t *b, uint8_t *c, uint8_t *d, uint16_t *e,
                                      uint16_t *err);
// NV item 10000 byte 7; 40 on a card without the model flag.
[[nodiscard]] int diag_activation_ctl_get(uint8_t *out, uint16_t *err);

// Starts an activation: carrier 1 dials dial_string (8 when NULL), carrier 2 sends the IOTA
// operation 2; carrier 0 gives 41, another 1. On 0 the monitor thread runs until the card
// decides (event types 6 on the way). 1 without sending anything while a monitor runs; 19 when
// the thread cannot start.
[[nodiscard]] int ActivateDevice(const char *dial_string);
// Waits until the monitor has ended or the seam's clock passes deadline_ms: true when it
// ended (it is then joined). *success_out (optional) = the activation success flag.
bool diag_activation_wait(unsigned long deadline_ms, uint8_t *success_out);
// Asks the monitor to end at its next wake-up and joins it (no effect without one).
void diag_activation_stop();
// The activation items (tests): success, done, retry count.
void diag_activation_items(uint8_t *success, uint8_t *done, uint32_t *retries);

// Sets (on) or clears one log code in the local 66-byte mask: code -1 all bytes; otherwise
// equipment bits 12-15 (above 9: 8) and item bits 0-11 (above the equipment's last item: 8).
[[nodiscard]] int log_config_mask(int log_code, int on);
// Reads equipment 1's mask from the card, edits the code, sends it back. 8 before any request
// for a code outside equipment 1 (except -1, all of equipment 1's items); 40 when the read is
// refused, fails or answers fewer than 71 bytes (no set request then); 11 when the set is not
// acknowledged.
[[nodiscard]] int EnableLog(int log_code);
[[nodiscard]] int DisableLog(int log_code);
// The local mask (tests, tools): kDiagLogMaskBuffer bytes.
const uint8_t *diag_log_mask();
