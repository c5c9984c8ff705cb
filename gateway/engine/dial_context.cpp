// Outbound operations: the link check with its wait for the dialler, connects with their
// retry rule, and name resolution through the cache.
#include "gateway/engine/dial_context.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <mutex>

#include "gateway/engine/access_rules.h"
#include "gateway/engine/dns_cache.h"
#include "gateway/engine/engine_messages.h"
#include "gateway/engine/link_provider.h"
#include "gateway/engine/opening_wait.h"
#include "gateway/engine/service_list.h"
#include "gateway/engine/target_guard.h"
#include "platform/host_addresses.h"
#include "platform/resumable_wait.h"
#include "platform/socket_errors.h"

namespace engine {
namespace {

class AlwaysUsable : public LinkProvider {
 public:
  int EnsureDialUp(int) override { return 0; }
  int LinkStatus() override { return 0; }
  platform::TargetId DialerTarget() override { return 0; }
};

AlwaysUsable g_always_usable;
std::atomic<LinkProvider*> g_link{&g_always_usable};

constexpr int kConnectAttempts = 3;
constexpr int kConnectRetryPauseMs = 5000;
// A blocking Winsock connect gives up after about this long.
constexpr int kConnectTimeoutMs = 21000;

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

}  // namespace

void SetLinkProvider(LinkProvider* provider) {
  g_link.store(provider ? provider : &g_always_usable);
}

LinkProvider& Link() { return *g_link.load(); }

DialContext::DialContext(bool without_thread)
    : thread_(without_thread ? 0 : platform::CurrentThreadId()) {}

int DialContext::WaitForDial() {
  if (thread_ == 0) return -1;
  platform::TargetId dialer = Link().DialerTarget();
  if (dialer == 0 || !platform::PostMessage(dialer, kMsgWaitForDial, thread_, 0)) return -1;
  // Bounded: a dialler that never answers must not keep the session for ever.
  if (!platform::WaitForResume(kDialWaitLimitMs)) return -1;
  return Link().LinkStatus() == -1 ? -1 : 0;
}

int DialContext::EnsureLink() {
  switch (Link().EnsureDialUp(kDialForSession)) {
    case 0:
      return 0;
    case 1:
      return WaitForDial();
    default:
      return -1;
  }
}

int DialContext::ConnectOut(platform::Socket s, const std::string& address, uint16_t port) {
  std::vector<std::string> addresses{address};
  if (!resolved_.empty() && resolved_.front() == address) {
    for (std::string& other : ScreenedTargets(port)) {
      if (other != address) addresses.push_back(std::move(other));
    }
  }
  if (EnsureLink() != 0) return -1;
  return ConnectRounds(s, addresses, port);
}

int DialContext::ConnectRounds(platform::Socket s, const std::vector<std::string>& addresses,
                               uint16_t port) {
  for (int round = 1;; ++round) {
    for (const std::string& address : addresses) {
      // A retry needs a fresh socket: the timed-out one is still half-open.
      if (round > 1 || &address != &addresses.front()) {
        if (platform::RenewSocket(s) != 0) return -1;
      }
      if (ConnectInOpening(s, address, port, kConnectTimeoutMs) == 0) return 0;
      if (platform::LastSocketError() == platform::kWsaEIntr && KilledInOpening()) return -1;
    }
    int err = platform::LastSocketError();
    if (round == kConnectAttempts ||
        (err != platform::kWsaENoBufs && err != platform::kWsaETimedOut)) {
      return -1;
    }
    if (PauseInOpening(kConnectRetryPauseMs) == WaitResult::kKilled) {
      platform::SetLastSocketError(platform::kWsaEIntr);
      return -1;
    }
  }
}

void DialContext::ScreenTargetsAs(int rule_number, const std::string& client,
                                  const std::string& data) {
  screened_ = true;
  screen_rule_ = rule_number;
  screen_client_ = client;
  screen_data_ = data;
}

std::vector<std::string> DialContext::ScreenedTargets(uint16_t port) const {
  std::vector<std::string> passed;
  for (const std::string& address : resolved_) {
    if (Screened(address, port)) passed.push_back(address);
  }
  return passed;
}

bool DialContext::Screened(const std::string& address, uint16_t port) const {
  return screened_ &&
         CheckAccess(kMatchByAddress, screen_rule_, screen_client_, address, screen_data_) == 0 &&
         !TargetRefused(screen_client_, address, port);
}

int DialContext::ResolveTarget(const std::string& name, std::string* address,
                               std::string* canonical) {
  resolved_.clear();
  std::string key = Lower(name);
  if (UseDnsCache() == 1 && DnsCacheLookup(key, address, canonical)) return 0;
  int link = Link().EnsureDialUp(kDialForSession);
  if (link == -1) return -1;
  if (link == 1 && thread_ != 0 && WaitForDial() != 0) return -1;
  std::vector<std::string> found;
  if (!platform::LookupHostAll(name, &found, canonical)) return -1;
  *address = found.front();
  if (UseDnsCache() == 1 && platform::IsDottedAddress(*address)) {
    DnsCacheStore(key, *canonical, *address);
  }
  RememberTargets(std::move(found));
  return 0;
}

void DialContext::RememberTargets(std::vector<std::string> addresses) {
  resolved_ = std::move(addresses);
}

int DialContext::ResolveHost(const std::string& name, std::string* address,
                             std::string* canonical) {
  std::string key = Lower(name);
  if (UseDnsCache() == 1 && DnsCacheLookup(key, address, canonical)) return 0;
  int link = Link().EnsureDialUp(kDialForSession);
  if (link == -1) return -1;
  if (link == 1 && thread_ != 0 && WaitForDial() != 0) return -1;
  if (!platform::LookupHost(name, address, canonical)) return -1;
  if (UseDnsCache() == 1) DnsCacheStore(key, *canonical, *address);
  return 0;
}

int DialContext::ResolveAddress(const std::string& dotted, std::string* name) {
  if (EnsureLink() != 0) return -1;
  return platform::LookupAddress(dotted, name) ? 0 : -1;
}

int AddressTextFor(const std::string& name, std::string* text) {
  if (platform::IsDottedAddress(name) || platform::IsIpv6Text(name)) {
    *text = name;
    return 0;
  }
  std::string canonical;
  if (DialContext().ResolveTarget(name, text, &canonical) != 0) {
    text->clear();
    return -1;
  }
  return 0;
}

}  // namespace engine
