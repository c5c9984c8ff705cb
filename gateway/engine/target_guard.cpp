// Own-address and own-port targets: the machine's interfaces and the active listeners.
#include "gateway/engine/target_guard.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "gateway/engine/client_filter.h"
#include "gateway/engine/service_catalogue.h"
#include "gateway/engine/service_list.h"
#include "gateway/engine/session_account.h"
#include "platform/host_addresses.h"
#include "platform/snmp_agent.h"

namespace engine {
namespace {

bool IsLoopbackOrUnspecified(const ClientAddress& a) {
  static const ClientAddress kAny{};
  ClientAddress loopback6{};
  loopback6[15] = 1;
  if (a == kAny || a == loopback6) return true;
  // Mapped IPv4: 127/8 and 0/8.
  static constexpr uint8_t kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
  if (std::memcmp(a.data(), kMapped, sizeof kMapped) != 0) return false;
  return a[12] == 127 || a[12] == 0;
}

bool IsOwnInterfaceAddress(const ClientAddress& a) {
  std::vector<platform::InterfaceEntry> interfaces;
  if (platform::ReadSystemInterfaces(&interfaces) != 0) return false;
  return std::any_of(interfaces.begin(), interfaces.end(), [&](const auto& entry) {
    if (!entry.has_ipv4) return false;
    in_addr v4{};
    v4.s_addr = htonl(entry.address);
    return ClientAddressOf(v4) == a;
  });
}

// An IPv6 address (not IPv4-mapped) is the machine's when a socket can be bound to it.
bool IsOwnIpv6Address(const ClientAddress& a) {
  static constexpr uint8_t kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
  if (std::memcmp(a.data(), kMapped, sizeof kMapped) == 0) return false;
  in6_addr v6{};
  std::memcpy(&v6, a.data(), sizeof v6);
  return platform::IsOwnAddress6(v6);
}

bool IsOwnAddress(const ClientAddress& a) {
  return IsLoopbackOrUnspecified(a) || IsOwnInterfaceAddress(a) || IsOwnIpv6Address(a);
}

// Every listener binds all of the machine's addresses, so any active service port counts.
bool IsOwnListeningPort(int port) {
  std::vector<ServiceEntry> entries = Services().Snapshot();
  return std::any_of(entries.begin(), entries.end(), [port](const ServiceEntry& e) {
    return e.IsActive != 0 && e.PortNum == port && e.ServiceType != kUdpMappedLinkType &&
           e.ServiceType != kDnsServiceType;
  });
}

}  // namespace

bool TargetRefused(const std::string& client_address, const std::string& target_address, int port) {
  ClientAddress target{};
  if (!ParseClientAddress(target_address, &target) || !IsOwnAddress(target)) return false;
  ClientAddress client{};
  const bool refused = IsOwnListeningPort(port) ||
                       !(ParseClientAddress(client_address, &client) && IsOwnAddress(client));
  if (refused) NoteSessionEnding(kEndDenied);
  return refused;
}

}  // namespace engine
