// The "kpc650" family: a raw pass-through command (200) for clients that speak the card's own
// protocol, and the answer to the card's keep-alive frames. Main thread only.
//
// Frame data fields the driver looks at (unstuffed, before the check value):
//   off 2: COMMAND   off 8: CHANNEL   off 10-11: MSGTYPE (big-endian)
// A keep-alive is COMMAND 1, CHANNEL 0, MSGTYPE 3: it is sent back as it came, with a fresh
// check value. Any other frame is printed.
#pragma once

#include <cstdint>

struct fd_desc;

// The card's port, -1 until kpc650_init() opened it.
extern int kpc650_fd;

// Frame I/O with the family's own buffers (modemd/crc_frame.h).
[[nodiscard]] int kpc650_write(int fd, uint8_t *data, int len);
[[nodiscard]] int kpc650_read(int fd, uint8_t *out, int cap);

// Command 200: writes the request bytes exactly as given, waits up to 2 seconds and answers
// the bytes of one read of the port, unframed and unchecked.
[[nodiscard]] int kpc650_diag_cmd_cait_data(uint8_t *req, int req_len, uint8_t *reply, int cap);

// Event-loop handler: reads one frame (capacity 256) and hands it to the notice handler.
[[nodiscard]] int kpc650_cns_notice(fd_desc *desc);

// Echoes a keep-alive (returns the write's result) or prints the frame's fields (returns
// `len`). A frame too short to hold the fields is dropped with a line (-1).
[[nodiscard]] int kpc650_cns_notice_handler(int fd, uint8_t *frame, int len);
