// The writing side of the syslog daemon's shared-memory ring, standing in for the platform's
// syslog daemon: creates the ring and its two semaphores, appends lines in the ring's format
// while honouring the reader lock. Used by the `syslogring` program and by tests.
// One writer per ring; not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>

struct RingWriter {
    int key = -1;
    int shmid = -1;
    int semid = -1;
    uint8_t *ring = nullptr;  // header (size, head, tail) then the data area
    uint32_t size = 0;        // bytes of the data area
};

// Creates a ring with a data area of `size` bytes under `key`, first removing a ring and
// semaphores left under it. 0, or -1.
int ring_create(RingWriter *w, int key, uint32_t size);

// Detaches and removes the ring and its semaphores.
void ring_destroy(RingWriter *w);

// Appends one line made of `nparts` strings (each written with its NUL, never across the end
// of the area: a string that does not fit before the end is preceded by NUL padding and
// starts at offset 0). The oldest strings make room when the ring is full. The caller's
// strings are the line as the ring holds it: sent flag, one more character, the text, "\n"
// at the end of the last part. 0, or -1 when a string is larger than the ring.
int ring_append(RingWriter *w, const char *const *parts, int nparts);

// Appends "0" + `tag` + text + "\n", split into strings where `text` holds `sep` (0: none).
int ring_log(RingWriter *w, const char *text, char tag = ' ', char sep = 0);

// On an empty ring: the next line starts at `offset`. 0, or -1 when not empty or out of range.
int ring_place(RingWriter *w, uint32_t offset);

// Writes the header words as given (to make a damaged ring).
void ring_set_header(RingWriter *w, uint32_t size, uint32_t head, uint32_t tail);

uint32_t ring_head(const RingWriter *w);
uint32_t ring_tail(const RingWriter *w);
