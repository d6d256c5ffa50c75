// How the simulated card answers one request: the packet a well-behaved card would send, then
// the behaviour set for that kind of request turned into the writes that go on the wire.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/diagcard/card_config.h"

CardTarget card_classify(const uint8_t *request, size_t len);

// The answer packet of a well-behaved card (which may change it: an NV write, a PRL chunk) (an
// error response 0x13 for what it does not know, or for a vendor request with another card's
// subsystem id). Packets that follow the answer (a read's log packet, an activation's event
// reports) go into *after with their delay in milliseconds.
std::vector<uint8_t> card_answer(CardConfig &config, const uint8_t *request, size_t len,
                                 std::vector<std::pair<int, std::vector<uint8_t>>> *after);

// One write on the port, `delay_ms` after the request arrived.
struct CardWrite {
    std::vector<uint8_t> bytes;
    int delay_ms = 0;
};

// The writes that answer `request` under the behaviour set for its kind (none when silent).
std::vector<CardWrite> card_plan(CardConfig &config, const uint8_t *request, size_t len);
