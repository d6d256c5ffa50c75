// Routing of the good packets the reader thread decodes. Runs on the reader thread; the two
// switches below may be set from any thread.
//   0x10 log packet     stored as a response only while log capture is on and its log code
//                       (bytes 6-7) is 0x1160; other log packets are ignored
//   0x60 event report   the bytes after the command byte go to the event-report parser; a
//                       report that carries no events is also the card's answer to
//                       event-report control, and is stored as a response
//   anything else       stored as a response
// Responses are stored only while a transaction is open; outside one they are dropped.
#pragma once

#include <cstddef>
#include <cstdint>

#include "modemd/diag/diag_hdlc.h"

inline constexpr uint16_t kDiagCapturedLogCode = 0x1160;

// Receives the body of every event report (the bytes after 0x60), on the reader thread.
typedef void (*diag_event_report_parser_t)(const uint8_t *body, size_t len);

// Installs the event-report parser (NULL: reports are only acknowledged, their events dropped).
void diag_set_event_report_parser(diag_event_report_parser_t parser);

// Log capture: while on, log packets with code 0x1160 are stored as responses.
void diag_set_log_capture(bool on);
bool diag_log_capture();

void diag_dispatch_frame(const uint8_t *packet, size_t len);

// Decodes the last read, buf->raw[0..raw_len), dispatching each good packet. Returns their
// number.
int diag_rx_process(diag_rx_buffer *buf);
