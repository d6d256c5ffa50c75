// Host-name lookup for the programs that reach a server by name. Main thread.
#pragma once

#include <netinet/in.h>

inline constexpr const char kLookupRetry[] = "name lookup failed";

// Resolves `host` (a name or a dotted IPv4 address) into `addr`: family AF_INET, the address,
// and `port` (host order; 0 leaves it 0). Returns nullptr on success, else a message:
// kLookupRetry when the resolver could not be asked (as at boot: try again), or a message
// that the name does not exist.
[[nodiscard]] const char *atoaddr(const char *host, unsigned short port, struct sockaddr_in *addr);
