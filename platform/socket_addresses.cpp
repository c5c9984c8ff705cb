// Address texts and socket addresses of both families, and the name lookups of the first
// IPv4 address: pure conversions over the C library, thread-safe (the lookups set the calling
// thread's last socket error).
#include <arpa/inet.h>
#include <netdb.h>

#include <cstring>

#include "platform/host_addresses.h"
#include "platform/socket.h"
#include "platform/socket_errors.h"

namespace platform {

bool AsIpv4(const sockaddr* address, sockaddr_in* v4) {
  if (address->sa_family == AF_INET) {
    std::memcpy(v4, address, sizeof *v4);
    return true;
  }
  if (address->sa_family != AF_INET6) return false;
  const auto* a6 = reinterpret_cast<const sockaddr_in6*>(address);
  if (!IN6_IS_ADDR_V4MAPPED(&a6->sin6_addr)) return false;
  *v4 = sockaddr_in{};
  v4->sin_family = AF_INET;
  v4->sin_port = a6->sin6_port;
  std::memcpy(&v4->sin_addr, a6->sin6_addr.s6_addr + 12, 4);
  return true;
}

std::string AddressText(const sockaddr* address) {
  sockaddr_in v4{};
  if (AsIpv4(address, &v4)) return DottedAddress(v4.sin_addr);
  if (address->sa_family != AF_INET6) return {};
  char buf[INET6_ADDRSTRLEN] = {};
  inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, buf, sizeof buf);
  return buf;
}

bool IsIpv6Text(const std::string& text) {
  in6_addr a{};
  return inet_pton(AF_INET6, text.c_str(), &a) == 1;
}

int AddressFrom(const std::string& text, uint16_t port, sockaddr_storage* to, socklen_t* length) {
  *to = sockaddr_storage{};
  auto* v4 = reinterpret_cast<sockaddr_in*>(to);
  if (inet_pton(AF_INET, text.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = htons(port);
    *length = sizeof *v4;
    return AF_INET;
  }
  auto* v6 = reinterpret_cast<sockaddr_in6*>(to);
  if (inet_pton(AF_INET6, text.c_str(), &v6->sin6_addr) != 1) return AF_UNSPEC;
  v6->sin6_family = AF_INET6;
  v6->sin6_port = htons(port);
  *length = sizeof *v6;
  return AF_INET6;
}

bool IsDottedAddress(const std::string& text) {
  in_addr a{};
  return inet_pton(AF_INET, text.c_str(), &a) == 1;
}

std::string DottedAddress(const in_addr& address) {
  char buf[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &address, buf, sizeof buf);
  return buf;
}

bool LookupHost(const std::string& name, std::string* dotted, std::string* canonical) {
  addrinfo* result = ResolveStreamAddresses(name, AF_INET);
  if (!result) return false;
  *dotted = DottedAddress(reinterpret_cast<sockaddr_in*>(result->ai_addr)->sin_addr);
  *canonical = result->ai_canonname ? result->ai_canonname : name;
  freeaddrinfo(result);
  return true;
}

bool LookupAddress(const std::string& dotted, std::string* name) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  if (inet_pton(AF_INET, dotted.c_str(), &a.sin_addr) != 1) return false;
  char host[NI_MAXHOST] = {};
  if (getnameinfo(reinterpret_cast<sockaddr*>(&a), sizeof a, host, sizeof host, nullptr, 0,
                  NI_NAMEREQD) != 0) {
    SetLastSocketError(kWsaHostNotFound);
    return false;
  }
  *name = host;
  return true;
}

}  // namespace platform
