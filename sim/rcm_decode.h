// How rcmserver prints the datagrams it takes from the agent: one readable line (and indented
// entries), or one JSON object a line for tests.
#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <string>

// Prints the datagram `buf` of `len` bytes, received from `from`.
void rcm_print_datagram(const uint8_t *buf, size_t len, const sockaddr_in &from, bool json);

// Prints an event of the server itself: `what` and a detail text.
void rcm_print_event(const char *what, const std::string &detail, bool json);

// The text quoted for JSON.
std::string json_quote(const std::string &text);
