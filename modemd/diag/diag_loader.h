// Starting and stopping the DIAG engine on the card's diagnostic port. Startup opens and
// configures the port, starts the reader thread, asks the card for its software version
// (which selects the vendor subsystem id), reads its device information (which sets the
// carrier id) and switches its event reports on. Any thread but the reader thread, except
// ShutdownLoader, which the reader itself calls when the port goes away.
#pragma once

#include <cstdint>
#include <cstdio>

inline constexpr int kDiagPortPathSize = 256;
inline constexpr uint32_t kDiagMaxStartOption = 12;

// Filled by the caller of Startup (262 bytes, fields unaligned).
struct __attribute__((packed)) diag_start_record {
    uint16_t record_version;            // must be nonzero; Startup writes 1 into it
    uint32_t start_option;              // at most 12; not used further
    char port_path[kDiagPortPathSize];  // the port's path, NUL-terminated, not empty
};
static_assert(sizeof(diag_start_record) == 262, "the start record is 262 bytes");

// 0 started; 207 NULL record, start_option above 12, or an empty or unterminated path (the
// record untouched); 202 already started (untouched); 213 record_version 0 (set to 1, nothing
// started). Otherwise record_version becomes 1 and the loader's status is mapped: 0 gives 0,
// 27 (no such port) 100, 36 (port busy, or no version answer) 101, anything else 209.
[[nodiscard]] int Startup(diag_start_record *record);

// 0 started, 35 already started, 27 no such port, 25 no permission or read-only, 36 port busy
// or the card did not answer its software version (the port is then closed again), 15 other
// open error, 19 the reader thread could not be started.
[[nodiscard]] int StartupLoader(const char *port_path);

// Switches event reports off, stops the reader thread, restores the port's settings and
// closes it. Afterwards every operation fails at once with 9. 0, or 1 when the send mutex
// could not be taken.
[[nodiscard]] int ShutdownLoader();

uint8_t IsLoaderStarted();

// With `on`, every request sent and every packet received is hex-dumped on standard output,
// or on the stream given to diag_set_trace_stream (modemd keeps standard output; a tool whose
// standard output carries its results passes standard error).
void diag_set_trace(bool on);
void diag_set_trace_stream(FILE *stream);

// 0 none, 1 or 2 by the device information read at start-up.
uint32_t GetCarrierID();
