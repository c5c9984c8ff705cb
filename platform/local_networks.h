// The machine's own IPv4 networks, for the "no proxy" lists of the client setup utility: which
// local network a LAN address belongs to. Reads the interface list each call; any thread.
#pragma once

#include <string>

namespace platform {

// The network, as "a.b.c.d/len", of the local interface whose network holds address (dotted
// IPv4); when no interface holds it, address's /24. "" when address is no dotted IPv4 address.
[[nodiscard]] std::string LanNetworkFor(const std::string& address);

}  // namespace platform

namespace platform {

// The interface that the routing table (/proc/net/route) uses for address: the most specific
// matching route, the default route last. "" when no route leads there.
[[nodiscard]] std::string RouteInterfaceFor(const std::string& address);

}  // namespace platform
