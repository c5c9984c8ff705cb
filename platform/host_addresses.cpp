// getaddrinfo with AF_INET6, and a bind test for the machine's own addresses.
#include "platform/host_addresses.h"

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace platform {

bool LookupHost6(const std::string& name, std::vector<in6_addr>* addresses) {
  addresses->clear();
  addrinfo hints{};
  hints.ai_family = AF_INET6;
  hints.ai_socktype = SOCK_STREAM;  // one entry per address, not one per socket type
  addrinfo* result = nullptr;
  if (getaddrinfo(name.c_str(), nullptr, &hints, &result) != 0 || result == nullptr) return false;
  for (addrinfo* ai = result; ai != nullptr; ai = ai->ai_next) {
    if (ai->ai_family != AF_INET6) continue;
    const in6_addr& a = reinterpret_cast<const sockaddr_in6*>(ai->ai_addr)->sin6_addr;
    bool seen = std::any_of(addresses->begin(), addresses->end(),
                            [&](const in6_addr& b) { return std::memcmp(&a, &b, sizeof a) == 0; });
    if (!seen) addresses->push_back(a);
  }
  freeaddrinfo(result);
  return !addresses->empty();
}

bool IsOwnAddress(const in_addr& address) {
  if ((ntohl(address.s_addr) >> 24) == 127) return true;
  int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (s < 0) return false;
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_addr = address;
  bool own = bind(s, reinterpret_cast<const sockaddr*>(&at), sizeof at) == 0;
  close(s);
  return own;
}

}  // namespace platform
