// getifaddrs over the IPv4 interfaces, loopback left out.
#include "platform/local_networks.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <bit>
#include <cstdint>
#include <cstdio>

namespace platform {
namespace {

std::string Cidr(uint32_t host_order_network, int prefix) {
  in_addr a{};
  a.s_addr = htonl(host_order_network);
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &a, text, sizeof text);
  return std::string(text) + "/" + std::to_string(prefix);
}

}  // namespace

std::string LanNetworkFor(const std::string& address) {
  in_addr wanted{};
  if (inet_pton(AF_INET, address.c_str(), &wanted) != 1) return "";
  const uint32_t target = ntohl(wanted.s_addr);
  std::string found;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) == 0) {
    for (ifaddrs* ifa = list; ifa != nullptr && found.empty(); ifa = ifa->ifa_next) {
      if (ifa->ifa_addr == nullptr || ifa->ifa_netmask == nullptr ||
          ifa->ifa_addr->sa_family != AF_INET || (ifa->ifa_flags & IFF_LOOPBACK) != 0) {
        continue;
      }
      const uint32_t own = ntohl(reinterpret_cast<sockaddr_in*>(ifa->ifa_addr)->sin_addr.s_addr);
      const uint32_t mask =
          ntohl(reinterpret_cast<sockaddr_in*>(ifa->ifa_netmask)->sin_addr.s_addr);
      if (mask != 0 && (own & mask) == (target & mask)) {
        found = Cidr(own & mask, std::popcount(mask));
      }
    }
    freeifaddrs(list);
  }
  return found.empty() ? Cidr(target & 0xFFFFFF00u, 24) : found;
}

}  // namespace platform

namespace platform {

std::string RouteInterfaceFor(const std::string& address) {
  in_addr wanted{};
  if (inet_pton(AF_INET, address.c_str(), &wanted) != 1) return "";
  std::FILE* routes = std::fopen("/proc/net/route", "r");
  if (routes == nullptr) return "";
  std::string best;
  int best_prefix = -1;
  char line[512];
  // Destination and mask are hexadecimal in network byte order as stored in memory.
  while (std::fgets(line, sizeof line, routes) != nullptr) {
    char iface[64];
    unsigned destination = 0;
    unsigned gateway = 0;
    unsigned flags = 0;
    unsigned mask = 0;
    int refcnt = 0;
    int use = 0;
    int metric = 0;
    if (std::sscanf(line, "%63s %x %x %x %d %d %d %x", iface, &destination, &gateway, &flags,
                    &refcnt, &use, &metric, &mask) != 8) {
      continue;  // the heading
    }
    const int prefix = std::popcount(mask);
    if ((wanted.s_addr & mask) == destination && prefix > best_prefix) {
      best = iface;
      best_prefix = prefix;
    }
  }
  std::fclose(routes);
  return best;
}

}  // namespace platform
