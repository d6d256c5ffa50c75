// Client side of modemd's command queue: posts one command message and waits for its answer
// on a private reply queue of the client's own. One ModemClient per thread.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/msgcmd.h"

struct ModemClient {
    int server_key;
    int reply_key;
    int reply_qid;
    int reply_fd;     // readable while an answer waits
    long next_mtype;  // each request's mtype, echoed by modemd: late answers are told apart
};

struct ModemReply {
    uint32_t result;  // kResultOk, kResultFailed or kResultNoHandler
    uint32_t len;     // as modemd wrote it: 12 + data bytes (11 after a handler's -1)
    size_t data_len;  // data bytes received
    uint8_t data[kMsgcmdDataMax];
};

// Creates the private reply queue. Returns 0, or -1 with errno set.
[[nodiscard]] int modem_client_open(ModemClient *client, int server_key);

// Sends command `cmd` with `len` data bytes (at most 1016; the message is padded to the
// minimum of 4 data bytes, `len` still says how many count) and waits up to `timeout_ms`
// milliseconds for the answer. Returns 0, or -1 with errno: ENOENT when modemd has no queue
// with that key, ETIMEDOUT when no answer came, EINVAL for too much data. Each call has an
// mtype of its own, echoed by modemd: an answer that comes after its call gave up is thrown
// away by a later call, never taken for its answer.
[[nodiscard]] int modem_client_call_ms(ModemClient *client, uint16_t cmd, const uint8_t *data,
                                       size_t len, long timeout_ms, ModemReply *reply);

// As modem_client_call_ms(), the time-out in whole seconds.
[[nodiscard]] int modem_client_call(ModemClient *client, uint16_t cmd, const uint8_t *data,
                                    size_t len, int timeout_s, ModemReply *reply);

// Removes the reply queue.
void modem_client_close(ModemClient *client);
