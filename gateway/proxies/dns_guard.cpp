// The table of names DNS sessions are looking up, counted per name.
#include "gateway/proxies/dns_guard.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <mutex>

#include "platform/host_addresses.h"
#include "platform/socket.h"

namespace proxies {
namespace {

std::mutex g_lock;
std::map<std::string, size_t> g_names;  // guarded by g_lock: lower-cased name -> sessions
size_t g_sessions = 0;                  // guarded by g_lock

std::string Key(std::string name) {
  if (!name.empty() && name.back() == '.') name.pop_back();
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return name;
}

// A name of ours, or one of ours with labels appended (the resolver's search list).
bool InFlightLocked(std::string key) {
  for (;;) {
    if (g_names.count(key) != 0) return true;
    const size_t dot = key.rfind('.');
    if (dot == std::string::npos) return false;
    key.resize(dot);
  }
}

}  // namespace

DnsLookupTicket::DnsLookupTicket(const std::string& name) : key_(Key(name)) {
  std::lock_guard hold(g_lock);
  if (g_sessions >= kDnsSessionLimit) return;
  ++g_sessions;
  ++g_names[key_];
  admitted_ = true;
}

DnsLookupTicket::~DnsLookupTicket() {
  if (!admitted_) return;
  std::lock_guard hold(g_lock);
  --g_sessions;
  if (auto it = g_names.find(key_); it != g_names.end() && --it->second == 0) g_names.erase(it);
}

bool IsOwnLookupReturning(const std::string& name, const sockaddr_storage& sender) {
  {
    std::lock_guard hold(g_lock);
    if (g_names.empty() || !InFlightLocked(Key(name))) return false;
  }
  const auto* address = reinterpret_cast<const sockaddr*>(&sender);
  sockaddr_in v4{};
  bool own = false;
  if (platform::AsIpv4(address, &v4)) {
    own = platform::IsOwnAddress(v4.sin_addr);
  } else if (sender.ss_family == AF_INET6) {
    own = platform::IsOwnAddress6(reinterpret_cast<const sockaddr_in6*>(&sender)->sin6_addr);
  }
  // Port 53 is the service's own socket: our resolver never sends from it. The port stands
  // at the same place in both families' addresses.
  const uint16_t port = ntohs(reinterpret_cast<const sockaddr_in*>(&sender)->sin_port);
  return port != 53 && own && platform::IsOwnProcessUdpPort(port);
}

size_t DnsSessionsInFlight() {
  std::lock_guard hold(g_lock);
  return g_sessions;
}

}  // namespace proxies
