// Byte stuffing with the 16-bit frame check: the one codec of the CnS card families (Sierra,
// KPC650, CDU) and of the DIAG port. Pure computation, any thread; a StuffRx belongs to one
// thread. A frame on the wire:
//
//   item   size    content
//   flag   0 or 1  0x7E; only the Sierra family sends one in front (kStuffOpenFlag)
//   data   n       the frame data
//   FCS    0 or 2  fcs16() of the data, low byte first (kStuffFcs: KPC650, CDU, DIAG)
//   flag   1       0x7E
//
// Inside data and FCS, 0x7E and 0x7D travel as 0x7D followed by the byte XOR 0x20; every other
// byte (control characters included) goes as it is.
//
// Decoding comes in two forms. unstuff() undoes the escapes of a span the caller already knows
// to be one frame (a CnS read is one frame; the family strips its flags). StuffRx assembles
// frames across reads of a stream (the DIAG reader), ending one at every unescaped flag.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr uint8_t kStuffFlag = 0x7E;
inline constexpr uint8_t kStuffEscape = 0x7D;
inline constexpr uint8_t kStuffXor = 0x20;
inline constexpr size_t kStuffFcsBytes = 2;

// ---- encoding ----

enum StuffFrameOptions : unsigned {
    kStuffOpenFlag = 1u << 0,  // a flag in front as well as behind
    kStuffFcs = 1u << 1,       // the FCS of the data after it
};

// The longest frame stuff_frame() can make of `len` data bytes (every byte escaped).
constexpr size_t stuff_frame_max(size_t len, unsigned options) {
    return ((options & kStuffOpenFlag) ? 1 : 0) + 2 * (len + ((options & kStuffFcs) ? 2 : 0)) + 1;
}

// Escapes src[0..src_len) into dst, stopping at the first byte whose escaped form (one or two
// bytes) does not fit dst_cap. Returns the bytes written; *consumed (when not null) the source
// bytes taken.
[[nodiscard]] size_t stuff_bytes(const uint8_t *src, size_t src_len, uint8_t *dst, size_t dst_cap,
                                 size_t *consumed);

// Builds the frame of `len` data bytes in `out` as `options` say, the closing flag last.
// Returns its length, or -1 (out holds nothing usable) when it would exceed out_cap (or
// 0x7FFFFFFF bytes).
[[nodiscard]] int stuff_frame(const uint8_t *data, size_t len, unsigned options, uint8_t *out,
                              size_t out_cap);

// ---- whole-frame decoding ----

// Undoes the escapes of src[0..len), the inside of one frame: every escape applies to the byte
// after it, whatever that is, an unescaped flag is kept as data, and an escape that is the
// last byte is dropped. `out` (room for len bytes) may be `src` itself. Returns the length.
[[nodiscard]] size_t unstuff(const uint8_t *src, size_t len, uint8_t *out);

// ---- decoding across reads ----

// Where unstuff_step() stopped.
enum StuffEnd : int {
    kStuffNoEnd = 0,      // source or room exhausted inside a frame
    kStuffFrameEnd = 1,   // an unescaped flag, stored as the frame's last byte
    kStuffFrameAbort = 2  // an escape directly followed by a flag: the frame is void
};

// Unstuffs src[0..src_len) into dst, storing at most dst_room bytes. An escape that is the last
// source byte is consumed and remembered in *escape_pending, so that the next call applies it
// to its first byte. It stops after a flag (kStuffFrameEnd, the flag stored), after an escape
// followed by a flag (kStuffFrameAbort: both consumed, nothing stored for them), or when the
// stored count reaches dst_room. Returns the bytes stored; *consumed the source bytes taken
// (at least one when src_len and dst_room are nonzero). dst may be at or before src, as for
// decoding in place.
[[nodiscard]] size_t unstuff_step(const uint8_t *src, size_t src_len, uint8_t *dst, size_t dst_room,
                                  StuffEnd *end, uint8_t *escape_pending, size_t *consumed);

// Receives each frame a flag closes: `good` when it held at least the FCS and its check
// passed, and then `data` is the frame data without FCS and flag; a failed or void frame is
// passed as received, without its flag.
typedef void (*stuff_frame_sink_t)(void *ctx, const uint8_t *data, size_t len, bool good);

// A frame being assembled across reads, in a buffer the owner provides. The capacity counts
// the closing flag: a frame of more than `cap` unescaped bytes cannot be delivered.
struct StuffRx {
    uint8_t *frame;
    uint32_t cap;
    uint32_t len;            // bytes of the current frame so far
    uint8_t escape_pending;  // the last read ended with an escape
};

// Empties `rx` and points it at frame[0..cap).
void stuff_rx_init(StuffRx *rx, uint8_t *frame, uint32_t cap);

// Runs the decoder over src[0..len) and hands every frame that closes to `sink`. A lone flag
// is only a separator. A run of `cap` bytes without a flag is discarded silently and decoding
// goes on. Returns the good frames.
int stuff_rx_decode(StuffRx *rx, const uint8_t *src, size_t len, stuff_frame_sink_t sink,
                    void *ctx);
