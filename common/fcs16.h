// The 16-bit frame check sequence of RFC 1662 (CRC-16/X-25): reflected polynomial 0x8408,
// start 0xFFFF, complemented on send, low byte first on the wire. It closes KPC650 and CDU
// frames, DIAG frames and the activation tool's frames. Pure computation, any thread.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr uint16_t kFcs16Init = 0xFFFF;
// Running the FCS over a frame followed by its own (complemented) check bytes leaves this.
inline constexpr uint16_t kFcs16Good = 0xF0B8;

// Folds `len` bytes into the running value `fcs` (no complement).
uint16_t fcs16_update(uint16_t fcs, const uint8_t *data, size_t len);

// The check value sent after `data`: the complement of the running value from kFcs16Init.
inline uint16_t fcs16(const uint8_t *data, size_t len) {
    return static_cast<uint16_t>(~fcs16_update(kFcs16Init, data, len));
}

// True when frame[0..len) is data followed by its own check value (low byte first).
[[nodiscard]] inline bool fcs16_good(const uint8_t *frame, size_t len) {
    return len >= 2 && fcs16_update(kFcs16Init, frame, len) == kFcs16Good;
}

// The running value under the name the card families use (init 0xFFFF for a frame; not
// complemented: a frame's check value is ~crc16(data, len, 0xFFFF)).
inline uint16_t crc16(const uint8_t *data, size_t len, uint16_t init) {
    return fcs16_update(init, data, len);
}
