// Events the engine reports to its client through 15 callback slots, by event type 0-14.
// A slot is filled (or emptied) by the client at any time; handlers of types 10 and 14 run on
// the reader thread and must not start a request transaction (the reader thread is the one
// that would deliver its response).
#pragma once

#include <atomic>
#include <cstdint>

// Built by the raising thread and valid only during the handler call.
struct diag_event {
    uint16_t event_version;  // always 1
    uint16_t event_type;     // the slot called
    uint16_t reserved;
    uint16_t event_code;   // within the type
    uint32_t event_value;  // a length, a state, ...
    void *event_data;      // data of the event where the type has some, else NULL
};

static_assert(sizeof(void *) != 4 || sizeof(diag_event) == 16, "16 bytes on the board");

typedef void (*diag_callback_t)(const diag_event *event);

inline constexpr int kDiagEventSlots = 15;
inline constexpr uint16_t kDiagEventReaderStopped = 10;  // the reader thread ended
inline constexpr uint16_t kDiagEventRawData = 14;        // bytes read from the port

extern std::atomic<diag_callback_t> gCallbacks[kDiagEventSlots];

// Calls slot `type`, when set, with a record of that type and code.
void diag_raise_event(uint16_t type, uint16_t code, uint32_t value, void *data);

// Switches the card's event reports on (nonzero) or off: request 0x60 with one byte, 1 s.
[[nodiscard]] int EnableEventReport(int on);
