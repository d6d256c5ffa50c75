// ssltest's steps: a TLS client connection to a server on the router, its cipher and the
// server certificate's names printed to `out`, "Hello World!" sent and one answer printed.
// Errors go to `err`. One thread.
#pragma once

#include <cstdint>
#include <cstdio>

enum SsltestStatus {
    kSsltestOk = 0,
    kSsltestSetup = 1,     // context, socket, connect, connection object, certificate, names
    kSsltestExchange = 2,  // handshake, write or read
};

// The address of the server: dotted IPv4 and port. 127.0.0.1 and 443 unless SSLTEST_ADDR and
// SSLTEST_PORT say otherwise. False (with the reason on `err`) when either is not valid.
[[nodiscard]] bool ssltest_target(const char *addr_env, const char *port_env, uint32_t *addr_be,
                                  uint16_t *port, FILE *err);

// Runs the exchange; returns the exit status. SIGPIPE must be ignored by the caller.
[[nodiscard]] int ssltest_run(uint32_t addr_be, uint16_t port, FILE *out, FILE *err);
