// What every fuzz target shares: a router root of its own, input taken apart field by field,
// a card played through a socket pair, and the target's own FCS-16, CRC-32 and byte stuffing
// (written apart from the product's codecs, so that frames the target builds can reach the
// logic behind a check value without the product checking itself).
//
// A target is `extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)`; it
// calls fuzz_init() first and reports a broken property with FUZZ_CHECK, which aborts (the
// fuzzer then keeps the input). Single-threaded unless a target says otherwise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

using FuzzBytes = std::vector<uint8_t>;

// Once per process: ROUTER_ROOT set to a fresh temporary directory (removed at exit) whose
// /dev/console is /dev/null, SIGPIPE ignored, and standard output sent to /dev/null unless
// FUZZ_VERBOSE is set (the card drivers print a lot).
void fuzz_init();

// Aborts with the file, line and condition when `cond` is false.
#define FUZZ_CHECK(cond)                                           \
    do {                                                           \
        if (!(cond)) fuzz_check_failed(__FILE__, __LINE__, #cond); \
    } while (0)
[[noreturn]] void fuzz_check_failed(const char *file, int line, const char *cond);

// memcmp that accepts empty (possibly null) ranges.
bool fuzz_same(const void *a, const void *b, size_t n);

// Takes the input apart from the front; reading past the end gives zeros and empty views.
class FuzzInput {
  public:
    FuzzInput(const uint8_t *data, size_t size) : p_(data), left_(size) {}
    uint8_t u8();
    uint16_t u16();  // little-endian
    // Up to `n` bytes (fewer when the input ends).
    FuzzBytes bytes(size_t n);
    // A length-prefixed piece: one byte of length (0..255), then that many bytes.
    FuzzBytes piece() { return bytes(u8()); }
    FuzzBytes rest() { return bytes(left_); }
    size_t left() const { return left_; }

  private:
    const uint8_t *p_;
    size_t left_;
};

// The FCS-16 of RFC 1662 (bit by bit, reflected 0x8408, from 0xFFFF, complemented).
uint16_t fuzz_fcs16(const uint8_t *data, size_t len);
// CRC-32 (reflected 0xEDB88320, from 0xFFFFFFFF, complemented).
uint32_t fuzz_crc32(const uint8_t *data, size_t len);
// `data` with every 0x7E and 0x7D (and, with `ctrl`, every byte below 0x20) sent as 0x7D
// followed by the byte XOR 0x20.
FuzzBytes fuzz_stuff(const FuzzBytes &data, bool ctrl = false);
// Undoes fuzz_stuff (a lone escape at the end is dropped).
FuzzBytes fuzz_unstuff(const uint8_t *data, size_t len);
// `data` followed by its FCS-16, low byte first.
FuzzBytes fuzz_with_fcs(const FuzzBytes &data);

// A card on a socket pair: the records are queued on the card's end as separate reads of the
// port (SOCK_SEQPACKET), then the card's writing side is shut, so every further read of the
// port sees end of file at once and nothing waits in real time. The port is non-blocking, so
// a driver that writes more than the socket holds gets a failed write instead of hanging.
class FuzzCard {
  public:
    explicit FuzzCard(const std::vector<FuzzBytes> &records);
    ~FuzzCard();
    FuzzCard(const FuzzCard &) = delete;
    FuzzCard &operator=(const FuzzCard &) = delete;
    int port() const { return fd_[0]; }
    int card() const { return fd_[1]; }

  private:
    int fd_[2] = {-1, -1};
};
