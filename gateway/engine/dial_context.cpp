// Outbound operations: the link check with its wait for the dialler, connects with their
// retry rule, and name resolution through the cache.
#include "gateway/engine/dial_context.h"

#include <arpa/inet.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <mutex>

#include "gateway/engine/dns_cache.h"
#include "gateway/engine/engine_messages.h"
#include "gateway/engine/link_provider.h"
#include "gateway/engine/opening_wait.h"
#include "gateway/engine/service_list.h"
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

int DialContext::ConnectOut(platform::Socket s, const sockaddr_in& to) {
  if (EnsureLink() != 0) return -1;
  for (int attempt = 1;; ++attempt) {
    // A retry needs a fresh socket: the timed-out one is still half-open.
    if (ConnectInOpening(s, to, kConnectTimeoutMs, attempt > 1) == 0) return 0;
    int err = platform::LastSocketError();
    if (attempt == kConnectAttempts ||
        (err != platform::kWsaENoBufs && err != platform::kWsaETimedOut)) {
      return -1;
    }
    if (PauseInOpening(kConnectRetryPauseMs) == WaitResult::kKilled) {
      platform::SetLastSocketError(platform::kWsaEIntr);
      return -1;
    }
  }
}

int DialContext::ConnectOut(platform::Socket s, const std::string& dotted, uint16_t port) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(port);
  if (inet_pton(AF_INET, dotted.c_str(), &to.sin_addr) != 1) {
    platform::SetLastSocketError(platform::kWsaEAddrNotAvail);
    return -1;
  }
  return ConnectOut(s, to);
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
  if (platform::IsDottedAddress(name)) {
    *text = name;
    return 0;
  }
  std::string canonical;
  if (DialContext().ResolveHost(name, text, &canonical) != 0) {
    text->clear();
    return -1;
  }
  return 0;
}

void GetPeerAddress(platform::Socket s, std::string* text) {
  if (s == platform::kInvalidSocket) return;
  std::string dotted;
  if (platform::PeerAddress(s, &dotted)) *text = dotted;
}

}  // namespace engine
