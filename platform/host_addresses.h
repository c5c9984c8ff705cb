// Name lookups beyond the first IPv4 address, and telling the machine's own addresses from
// others'. Thread-safe: plain calls into the C library and the kernel, no state of our own.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// getaddrinfo for IPv6 only: every distinct address, in the resolver's order. false when the
// name has none (it may still have IPv4 addresses).
[[nodiscard]] bool LookupHost6(const std::string& name, std::vector<in6_addr>* addresses);
// True when address is one of this machine's (loopback included): a socket can be bound to it.
[[nodiscard]] bool IsOwnAddress(const in_addr& address);
// True when a UDP socket of this very process is bound to port (read from /proc): a datagram
// from this machine and that port was sent by this process.
[[nodiscard]] bool IsOwnProcessUdpPort(uint16_t port);

}  // namespace platform
