// The AllowedClients set: parsing, matching and the process-wide filter at accept.
#include "gateway/engine/client_filter.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>

#include "gateway/engine/config_store.h"
#include "gateway/engine/store_access.h"

namespace engine {
namespace {

// Addresses whose first refusal was logged; beyond this many, refusals are only counted.
constexpr size_t kLoggedAddressLimit = 1024;
constexpr size_t kAllowedClientsWidth = 4096;

std::mutex g_lock;
ClientSet g_set = ClientSet::Lan();           // guarded by g_lock
std::string g_text = kAllowedClientsDefault;  // guarded by g_lock
std::string g_reported_text;                  // guarded by g_lock: last unreadable text told
std::set<ClientAddress> g_logged;             // guarded by g_lock
uint64_t g_refused = 0;                       // guarded by g_lock

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::vector<std::string> SplitEntries(const std::string& text) {
  std::vector<std::string> entries;
  std::string current;
  for (char c : text) {
    if (c == ';' || c == ',' || std::isspace(static_cast<unsigned char>(c))) {
      if (!current.empty()) entries.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) entries.push_back(current);
  return entries;
}

bool ParseBits(const std::string& text, int max, int* bits) {
  if (text.empty() || text.size() > 3) return false;
  int n = 0;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    n = n * 10 + (c - '0');
  }
  if (n > max) return false;
  *bits = n;
  return true;
}

bool IsMappedV4(const ClientAddress& a) {
  static constexpr uint8_t kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
  return std::memcmp(a.data(), kMapped, sizeof kMapped) == 0;
}

bool InPrefix(const ClientAddress& a, const ClientAddress& base, int bits) {
  int whole = bits / 8;
  if (std::memcmp(a.data(), base.data(), static_cast<size_t>(whole)) != 0) return false;
  int rest = bits % 8;
  if (rest == 0) return true;
  auto mask = static_cast<uint8_t>(0xff << (8 - rest));
  return (a[static_cast<size_t>(whole)] & mask) == (base[static_cast<size_t>(whole)] & mask);
}

// Takes a parsed set under the lock; tells the administrator once about an unreadable text.
void Apply(const std::string& text) {
  ClientSet set = ClientSet::Lan();
  bool readable = ClientSet::Parse(text, &set);
  std::lock_guard lock(g_lock);
  g_set = set;
  g_text = readable ? text : kAllowedClientsDefault;
  if (!readable && g_reported_text != text) {
    g_reported_text = text;
    std::fprintf(stderr,
                 "Wayfarer: AllowedClients \"%s\" cannot be read; serving LAN clients only\n",
                 text.c_str());
  }
}

}  // namespace

bool ParseClientAddress(const std::string& text, ClientAddress* out) {
  in_addr v4{};
  if (inet_pton(AF_INET, text.c_str(), &v4) == 1) {
    *out = ClientAddressOf(v4);
    return true;
  }
  in6_addr v6{};
  if (inet_pton(AF_INET6, text.c_str(), &v6) != 1) return false;
  std::memcpy(out->data(), &v6, 16);
  return true;
}

ClientAddress ClientAddressOf(const in_addr& v4) {
  ClientAddress a{};
  a[10] = 0xff;
  a[11] = 0xff;
  std::memcpy(a.data() + 12, &v4, 4);
  return a;
}

std::string ClientAddressText(const ClientAddress& address) {
  char text[INET6_ADDRSTRLEN] = {};
  if (IsMappedV4(address)) {
    inet_ntop(AF_INET, address.data() + 12, text, sizeof text);
  } else {
    inet_ntop(AF_INET6, address.data(), text, sizeof text);
  }
  return text;
}

ClientSet ClientSet::Lan() {
  ClientSet set;
  set.AddLan();
  return set;
}

ClientSet ClientSet::Any() {
  ClientSet set;
  set.any_ = true;
  return set;
}

void ClientSet::AddLan() {
  static constexpr struct {
    const char* base;
    int bits;
  } kLan[] = {{"127.0.0.0", 104},   {"10.0.0.0", 104}, {"172.16.0.0", 108}, {"192.168.0.0", 112},
              {"169.254.0.0", 112}, {"::1", 128},      {"fc00::", 7},       {"fe80::", 10}};
  for (const auto& entry : kLan) {
    Prefix p;
    if (ParseClientAddress(entry.base, &p.base)) {
      p.bits = entry.bits;
      prefixes_.push_back(p);
    }
  }
}

bool ClientSet::Parse(const std::string& text, ClientSet* out) {
  ClientSet set;
  std::vector<std::string> entries = SplitEntries(text);
  if (entries.empty()) entries.emplace_back(kAllowedClientsDefault);
  for (const std::string& entry : entries) {
    std::string lower = Lower(entry);
    if (lower == "any") {
      set.any_ = true;
      continue;
    }
    if (lower == "lan") {
      set.AddLan();
      continue;
    }
    size_t slash = entry.find('/');
    Prefix p;
    if (!ParseClientAddress(entry.substr(0, slash), &p.base)) return false;
    bool v4 = entry.substr(0, slash).find(':') == std::string::npos;
    p.bits = 128;
    if (slash != std::string::npos) {
      if (!ParseBits(entry.substr(slash + 1), v4 ? 32 : 128, &p.bits)) return false;
      if (v4) p.bits += 96;
    }
    set.prefixes_.push_back(p);
  }
  *out = std::move(set);
  return true;
}

bool ClientSet::Contains(const ClientAddress& address) const {
  if (any_) return true;
  return std::any_of(prefixes_.begin(), prefixes_.end(),
                     [&](const Prefix& p) { return InPrefix(address, p.base, p.bits); });
}

void LoadAllowedClients() {
  std::string text = kAllowedClientsDefault;
  platform::RegKey key;
  if (OpenSubkey(kKeyConfiguration, "", /*create=*/false, &key) == 0) {
    GetString(key, kAllowedClientsValue, kAllowedClientsWidth, &text);
  }
  Apply(text);
}

int SetAllowedClients(const std::string& text) {
  ClientSet set;
  if (!ClientSet::Parse(text, &set)) return -1;
  platform::RegKey key;
  if (OpenSubkey(kKeyConfiguration, "", /*create=*/true, &key) != 0) return -1;
  if (!SetString(key, kAllowedClientsValue, text)) return -1;
  Apply(text);
  return 0;
}

std::string AllowedClientsText() {
  std::lock_guard lock(g_lock);
  return g_text;
}

bool AdmitClient(const ClientAddress& address) {
  std::lock_guard lock(g_lock);
  if (g_set.Contains(address)) return true;
  ++g_refused;
  if (g_logged.size() < kLoggedAddressLimit && g_logged.insert(address).second) {
    std::fprintf(stderr,
                 "Wayfarer: refused client %s (not in AllowedClients); later refusals of it are "
                 "only counted\n",
                 ClientAddressText(address).c_str());
  }
  return false;
}

bool AdmitClientSocket(platform::Socket s, std::string* peer_text) {
  sockaddr_storage peer{};
  socklen_t length = sizeof peer;
  if (peer_text) peer_text->clear();
  if (getpeername(s, reinterpret_cast<sockaddr*>(&peer), &length) != 0) return false;
  const auto* address = reinterpret_cast<const sockaddr*>(&peer);
  if (peer_text) *peer_text = platform::AddressText(address);
  return AdmitClient(ClientAddressOf(address));
}

ClientAddress ClientAddressOf(const sockaddr* address) {
  if (address->sa_family == AF_INET) {
    return ClientAddressOf(reinterpret_cast<const sockaddr_in*>(address)->sin_addr);
  }
  ClientAddress a{};
  if (address->sa_family == AF_INET6) {
    std::memcpy(a.data(), &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, 16);
  }
  return a;
}

bool DropOutsiderDatagram(platform::Socket s) {
  sockaddr_storage from{};
  socklen_t length = sizeof from;
  char byte;
  ssize_t n =
      recvfrom(s, &byte, 1, MSG_PEEK | MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from), &length);
  if (n < 0 || (from.ss_family != AF_INET && from.ss_family != AF_INET6)) return false;
  if (AdmitClient(ClientAddressOf(reinterpret_cast<const sockaddr*>(&from)))) return false;
  char drop[1];
  // Reading it also re-arms the listener's read event.
  [[maybe_unused]] int taken = platform::RecvFrom(s, drop, sizeof drop, nullptr);
  return true;
}

uint64_t RefusedClients() {
  std::lock_guard lock(g_lock);
  return g_refused;
}

}  // namespace engine
