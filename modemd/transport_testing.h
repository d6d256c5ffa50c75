// Test helper: a card played by the test through a socket pair. The test writes the card's
// whole answer before the call under test (so the exchange reads it in one go) and reads back
// what the driver sent.
#pragma once

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

#include <gtest/gtest.h>

#include "modemd/cns.h"

using Bytes = std::vector<uint8_t>;

struct PeerCard {
    int fd[2] = {-1, -1};  // fd[0] is the driver's port, fd[1] the card
    PeerCard() { socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fd); }
    ~PeerCard() {
        for (int f : fd)
            if (f >= 0) close(f);
    }
    int port() const { return fd[0]; }
    void answer(const Bytes &raw) const {
        EXPECT_EQ(static_cast<ssize_t>(raw.size()), write(fd[1], raw.data(), raw.size()));
    }
    Bytes received() const {
        Bytes out(8192);
        ssize_t n = recv(fd[1], out.data(), out.size(), MSG_DONTWAIT);
        out.resize(n > 0 ? static_cast<size_t>(n) : 0);
        return out;
    }
};

// Flags and escapes around `data` (the Sierra framing).
inline Bytes stuffed(const Bytes &data) {
    Bytes out(2 * data.size() + 2);
    size_t len = 0;
    if (cns_encode(data.data(), data.size(), out.data(), out.size(), &len) < 0) return {};
    out.resize(len);
    return out;
}

// A Sierra answer frame: host-interface header of `type`, then the CnS message.
inline Bytes sierra_answer(uint16_t obj, uint8_t op, const Bytes &payload, uint8_t type = 0x6B) {
    Bytes d = {0,    0,    type, 0, uint8_t(obj >> 8),      uint8_t(obj), op, 0, 0x78,
               0x56, 0x34, 0x12, 0, uint8_t(payload.size())};
    d.insert(d.end(), payload.begin(), payload.end());
    d[0] = uint8_t((d.size() - 4) >> 8);
    d[1] = uint8_t(d.size() - 4);
    return stuffed(d);
}
