// Reading the syslog daemon's shared-memory ring: the lines not yet reported are collected
// for a log report and marked as reported. Main thread only.
//
// Ring (System V shared memory, with a set of two semaphores under the same key):
//   off  size  field (host order)
//   0    4     size of the data area
//   4    4     head: offset of the oldest message
//   8    4     tail: offset where the next message goes
//   12   size  data: NUL-terminated strings one after the other, wrapping to offset 0 when
//              the next offset reaches the size
// A line may span several consecutive strings and ends with "\n". It begins with the sent
// flag ("0" not yet reported, "1" reported), one more character, then the text.
// Reader lock: wait until semaphore 1 is zero and raise semaphore 0 (with undo); release by
// lowering semaphore 0.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr size_t kRingHeaderLen = 12;
inline constexpr int kMaxLogLines = 20;
inline constexpr size_t kLogLineRoom = 1023;  // a line keeps at most 1022 characters

// Collects up to 20 unreported lines from the ring image `ring` (`ring_bytes` bytes, header
// included) into `out` (room for `cap` bytes), each from its third character on with its
// "\n", and marks them reported. A line that does not fit the room left stays unreported for
// the next report; a line longer than 1022 characters is cut to 1021 and its "\n". Returns
// the bytes written plus 1 (the NUL), 0 when there was nothing, or -1 when the header's
// size, head or tail do not fit the ring (nothing is read).
[[nodiscard]] int syslog_ring_collect(uint8_t *ring, size_t ring_bytes, char *out, size_t cap);

// Attaches the ring (once, for the life of the process) under RMAGENT_SYSLOG_KEY or
// 0x414E4547, takes the reader lock and collects as above. A ring that cannot be found,
// attached or locked ends the program with status 1 (after a message on the debug stream).
[[nodiscard]] int get_system_log(char *out, size_t cap);

// Tests: detach the ring so that the next call attaches again.
void syslog_ring_testing_detach(void);
