// ssltest: opens a TLS connection to a server on the router and prints what it learns.
//   ssltest          (no options; SSLTEST_ADDR and SSLTEST_PORT replace 127.0.0.1 and 443)
// Exit status: 0 success; 1 set-up failure (context, socket, connect, connection object, the
// server's certificate or its names, or a bad SSLTEST_ADDR/SSLTEST_PORT); 2 handshake, write
// or read failure.
#include <signal.h>

#include <cstdlib>

#include "tools/ssltest_run.h"

int main() {
    // A server closing mid-exchange is a failed write (status 2), not a killed process.
    signal(SIGPIPE, SIG_IGN);
    uint32_t addr = 0;
    uint16_t port = 0;
    if (!ssltest_target(getenv("SSLTEST_ADDR"), getenv("SSLTEST_PORT"), &addr, &port, stderr))
        return kSsltestSetup;
    return ssltest_run(addr, port, stdout, stderr);
}
