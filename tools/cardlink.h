// The card API: modem values and the SMS store of the card, asked of modemd over its command
// queue (key MODEMD_QUEUE_KEY, else 23232) through tools/modem_client. Every call returns 0,
// or -1 on any failure (not initialised, no queue, time-out, a failing or missing handler, an
// answer with too few data bytes), and then leaves its out values untouched.
//
// One caller at a time: the library holds one reply queue for the process.
//
//   call                      cmd  request data (host order)   answer data used
//   cl_get_esn                1    -                           4 bytes, 32-bit value
//   cl_get_rssi               2    -                           2 bytes, 16-bit value
//   cl_get_bandclass          3    -                           2 bytes
//   cl_get_activation_status  4    -                           2 bytes
//   cl_get_service_indication 5    -                           2 bytes
//   cl_get_sms_status         7    -                           4 bytes: flagged count low 16
//                                                              bits, unflagged high 16
//   cl_read_sms               8    index (16)                  - (no content is carried)
//   cl_write_sms              9    destination, NUL, text      -
//   cl_remove_sms             10   index (16)                  -
//   cl_flag_sms               11   index (16), flag (16)       -
#pragma once

#include <cstdint>

// Opens the reply queue. `ms` is each call's answer time-out in milliseconds; 0 or less means
// 30 s. Initialising again first closes the earlier queue.
[[nodiscard]] int cardlinkapi_init(int ms);

// Removes the reply queue; -1 without a successful init.
[[nodiscard]] int cardlinkapi_fina(void);

[[nodiscard]] int cl_get_esn(uint32_t *esn);
[[nodiscard]] int cl_get_rssi(uint32_t *rssi);
[[nodiscard]] int cl_get_bandclass(uint32_t *bandclass);
[[nodiscard]] int cl_get_activation_status(uint32_t *status);
[[nodiscard]] int cl_get_service_indication(uint32_t *indication);
[[nodiscard]] int cl_get_sms_status(uint32_t *status);

// Reads message `index`: `text` (room for `cap` bytes, at least 1) and `other` (at least 1
// byte) are set to empty text, as modemd carries no message content.
[[nodiscard]] int cl_read_sms(uint16_t index, char *text, int cap, char *other);
// Sends `len` bytes of `text` to `dest` (NUL-terminated).
[[nodiscard]] int cl_write_sms(const char *text, int len, const char *dest);
[[nodiscard]] int cl_flag_sms(uint16_t index, uint16_t flag);
[[nodiscard]] int cl_remove_sms(uint16_t index);
