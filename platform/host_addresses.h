// Name lookups beyond the first IPv4 address, and telling the machine's own addresses from
// others'. Thread-safe: plain calls into the C library and the kernel, no state of our own.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <string>
#include <vector>

struct addrinfo;

namespace platform {

// getaddrinfo of one stream entry per address of name in family (AF_INET, AF_INET6 or
// AF_UNSPEC), with the canonical name: the list to free with freeaddrinfo, or nullptr with
// kWsaHostNotFound (kWsaTryAgain when the resolver could not answer now) set.
[[nodiscard]] addrinfo* ResolveStreamAddresses(const std::string& name, int family);
// getaddrinfo for IPv6 only: every distinct address, in the resolver's order. false when the
// name has none (it may still have IPv4 addresses).
[[nodiscard]] bool LookupHost6(const std::string& name, std::vector<in6_addr>* addresses);
// getaddrinfo for both families: every distinct address as text, the IPv4 ones first (in the
// resolver's order, so the first is what an IPv4-only lookup gives), then the IPv6 ones, and
// the canonical name. false with kWsaHostNotFound (or kWsaTryAgain) when there is none.
[[nodiscard]] bool LookupHostAll(const std::string& name, std::vector<std::string>* addresses,
                                 std::string* canonical);
// True when address is one of this machine's (loopback included): a socket can be bound to it.
[[nodiscard]] bool IsOwnAddress(const in_addr& address);
// The same for IPv6 (::1 and the unspecified address included).
[[nodiscard]] bool IsOwnAddress6(const in6_addr& address);
// True when a UDP socket of this very process is bound to port (read from /proc): a datagram
// from this machine and that port was sent by this process.
[[nodiscard]] bool IsOwnProcessUdpPort(uint16_t port);

}  // namespace platform
