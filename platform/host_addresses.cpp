// getaddrinfo for IPv6 and for both families, and a bind test for the machine's own addresses.
#include "platform/host_addresses.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "platform/socket.h"
#include "platform/socket_errors.h"

namespace platform {

addrinfo* ResolveStreamAddresses(const std::string& name, int family) {
  addrinfo hints{};
  hints.ai_family = family;
  hints.ai_socktype = SOCK_STREAM;  // one entry per address, not one per socket type
  hints.ai_flags = AI_CANONNAME;
  addrinfo* result = nullptr;
  int rc = getaddrinfo(name.c_str(), nullptr, &hints, &result);
  if (rc != 0 || result == nullptr) {
    SetLastSocketError(rc == EAI_AGAIN ? kWsaTryAgain : kWsaHostNotFound);
    return nullptr;
  }
  return result;
}

bool LookupHost6(const std::string& name, std::vector<in6_addr>* addresses) {
  addresses->clear();
  addrinfo* result = ResolveStreamAddresses(name, AF_INET6);
  if (!result) return false;
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

bool LookupHostAll(const std::string& name, std::vector<std::string>* addresses,
                   std::string* canonical) {
  addresses->clear();
  addrinfo* result = ResolveStreamAddresses(name, AF_UNSPEC);
  if (!result) return false;
  std::vector<std::string> v6;
  for (addrinfo* ai = result; ai != nullptr; ai = ai->ai_next) {
    std::string text = AddressText(ai->ai_addr);
    if (text.empty()) continue;
    std::vector<std::string>& list = ai->ai_family == AF_INET ? *addresses : v6;
    if (std::find(list.begin(), list.end(), text) == list.end()) list.push_back(text);
  }
  addresses->insert(addresses->end(), v6.begin(), v6.end());
  *canonical = result->ai_canonname ? result->ai_canonname : name;
  freeaddrinfo(result);
  if (addresses->empty()) SetLastSocketError(kWsaHostNotFound);
  return !addresses->empty();
}

bool IsOwnAddress6(const in6_addr& address) {
  if (IN6_IS_ADDR_LOOPBACK(&address) || IN6_IS_ADDR_UNSPECIFIED(&address)) return true;
  int s = socket(AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (s < 0) return false;
  sockaddr_in6 at{};
  at.sin6_family = AF_INET6;
  at.sin6_addr = address;
  bool own = bind(s, reinterpret_cast<const sockaddr*>(&at), sizeof at) == 0;
  close(s);
  return own;
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

namespace {

// Inodes of the sockets bound to port, from one of the kernel's socket tables.
void InodesOnPort(const char* table, uint16_t port, std::set<std::string>* inodes) {
  std::ifstream in(table);
  std::string line;
  std::getline(in, line);  // the column titles
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
    if (!(fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >>
          timeout >> inode)) {
      continue;
    }
    const size_t colon = local.find(':');
    if (colon == std::string::npos) continue;
    if (std::strtoul(local.c_str() + colon + 1, nullptr, 16) == port) inodes->insert(inode);
  }
}

}  // namespace

bool IsOwnProcessUdpPort(uint16_t port) {
  std::set<std::string> inodes;
  InodesOnPort("/proc/net/udp", port, &inodes);
  InodesOnPort("/proc/net/udp6", port, &inodes);
  if (inodes.empty()) return false;
  std::error_code error;
  for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd", error)) {
    std::error_code unreadable;
    const std::string target = std::filesystem::read_symlink(fd.path(), unreadable).string();
    if (target.rfind("socket:[", 0) != 0 || target.size() < 10) continue;
    if (inodes.count(target.substr(8, target.size() - 9)) != 0) return true;
  }
  return false;
}

}  // namespace platform
