// Request transactions: every device operation sends one DIAG request and waits for the
// matching response, one transaction at a time (the send mutex). Callable from any thread
// except the reader thread (which is the one that delivers responses).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// Request buffers: the largest fixed request (141 bytes) and the two FCS bytes after it.
inline constexpr size_t kDiagRequestSize = 141;
inline constexpr size_t kDiagRequestBuffer = kDiagRequestSize + 2;
// diag_send_frame's frame buffer bounds a request (stuffed, FCS and flag) to this size.
inline constexpr size_t kDiagMaxRequest = 1021;

// The heap copy of one response, freed with the holder.
class DiagResponse {
  public:
    DiagResponse() = default;
    ~DiagResponse() { free(data_); }
    DiagResponse(const DiagResponse &) = delete;
    DiagResponse &operator=(const DiagResponse &) = delete;

    const uint8_t *data() const { return data_; }
    uint32_t size() const { return len_; }
    uint8_t **data_out() { return &data_; }
    uint32_t *size_out() { return &len_; }

  private:
    uint8_t *data_ = nullptr;
    uint32_t len_ = 0;
};

// Computes the FCS of request[0..length), writes it low byte first into request[length] and
// request[length + 1] (the buffer must hold both), stuffs, closes with the flag and writes the
// frame with one write(). 0 when it was written whole; 9 otherwise, also for a request longer
// than kDiagMaxRequest or when no port is open. Call with the send mutex held.
[[nodiscard]] int diag_send_frame(uint8_t *request, size_t length);

// Open and close a transaction (send mutex held): both empty the packet list; the first
// starts storing responses, the second stops.
void diag_begin_request();
void diag_end_request();

// Waits up to timeout_seconds (0 means 15) for the response of the open transaction whose
// first byte is `command` (for command 0x10, a log packet whose bytes 6-7 are `log_code`).
// A DIAG error response echoing `command` gives its status (0x13: 2, 0x14: 3, 0x15: 4,
// 0x18: 32, 0x42: 21, 0x47: 5); one echoing another command gives 11. With status 0,
// *response_out is a heap copy of the packet (the caller frees it) and *length_out its length.
[[nodiscard]] int diag_wait_response(uint8_t command, uint8_t **response_out, uint32_t *length_out,
                                     uint16_t log_code, int timeout_seconds);

// One whole transaction: take the send mutex, open, send request[0..length) (two spare bytes
// after it), wait for the response to request[0] (and `log_code` for a log request), close.
// 1 when the mutex cannot be taken.
[[nodiscard]] int diag_transact(uint8_t *request, size_t length, int timeout_seconds,
                                DiagResponse *response, uint16_t log_code = 0);

// Sends a caller-built packet (two spare bytes after it for the FCS), or caller bytes that are
// already framed, inside an open-and-close transaction; no response is collected (a client
// sees it only as raw data, event type 14). 0, 1 (send mutex) or 9 (not written whole).
[[nodiscard]] int diag_prepare_n_send_req(uint8_t *data, size_t length);
[[nodiscard]] int diag_send_hdlc_dm_req(const uint8_t *data, size_t length);
