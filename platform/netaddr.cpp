#include "platform/netaddr.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <cstring>

const char *atoaddr(const char *host, unsigned short port, struct sockaddr_in *addr) {
    std::memset(addr, 0, sizeof *addr);
    addr->sin_family = AF_INET;
    addr->sin_port = htons(port);
    if (!host || !*host) return "no host name";
    if (inet_pton(AF_INET, host, &addr->sin_addr) == 1) return nullptr;

    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo *res = nullptr;
    int rc = getaddrinfo(host, nullptr, &hints, &res);
    if (rc == EAI_AGAIN || rc == EAI_SYSTEM || rc == EAI_MEMORY) return kLookupRetry;
    if (rc != 0 || !res) return "host not found";
    std::memcpy(&addr->sin_addr, &reinterpret_cast<sockaddr_in *>(res->ai_addr)->sin_addr,
                sizeof addr->sin_addr);
    freeaddrinfo(res);
    return nullptr;
}
