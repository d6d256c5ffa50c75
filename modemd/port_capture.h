// What passes on the card's port, written as a capture file (common/pcap_file.h, link type
// 147): one record per frame as it was on the wire, with its direction and the family's
// framing, for reading with the dissectors of tools/wireshark/. Switched on with modemd -w.
//
// The capture never stands in the daemon's way: a file that cannot be opened or written, or
// that reaches its size limit, costs one console line and is closed; the card is served on.
// Any thread (the DIAG engine's reader thread records what it reads): one mutex guards the
// file and the two directions' frame cutters.
#pragma once

#include <cstddef>
#include <cstdint>

// modemd -w: the largest file written (the board's /tmp is memory).
inline constexpr size_t kPortCaptureMaxBytes = 4u << 20;

// Starts a capture into `path` (created or truncated) of frames in `framing` (PcapCardFraming),
// writing at most `max_bytes`. Returns 0, or -1 when it cannot be started (a line says why).
[[nodiscard]] int port_capture_open(const char *path, uint8_t framing, size_t max_bytes);

// True while a capture is being written.
[[nodiscard]] bool port_capture_on(void);

// The bytes written to the card and read from it, as write() and read() passed them. Each
// frame they complete becomes a record. Nothing happens without a capture.
void port_capture_sent(const uint8_t *bytes, size_t len);
void port_capture_received(const uint8_t *bytes, size_t len);

// Writes what is held of unfinished frames and closes the file.
void port_capture_close(void);
