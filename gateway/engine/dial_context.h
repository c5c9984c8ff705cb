// The outbound operations every session uses to reach the Internet: make sure the link is up
// (dialling on demand and waiting for the dialler), connect, resolve names (through the
// DnsCache when UseDnsCache is on). A DialContext is made by a session thread for itself and
// used only by that thread; the free functions are thread-safe.
#pragma once

#include <netinet/in.h>

#include <string>
#include <vector>

#include "platform/message_queue.h"
#include "platform/socket.h"

namespace engine {

// A session waits at most this long for the dialler to resume it.
inline constexpr int kDialWaitLimitMs = 5 * 60 * 1000;

class DialContext {
 public:
  // For the calling thread. without_thread: a context that never waits (it fails instead of
  // waiting when a dial had to be started).
  explicit DialContext(bool without_thread = false);

  // 0 when the link can be used (after a dial if needed), -1 otherwise.
  [[nodiscard]] int EnsureLink();
  // EnsureLink, then up to 3 connects to dotted or IPv6 text (s is made a socket of its
  // family); retries (after 5 s) only on WSAENOBUFS or WSAETIMEDOUT. When address is the
  // first of the last ResolveTarget's addresses, a failed connect goes on to the others in
  // turn, those the screen set by ScreenTargetsAs lets through (none without one); a retry
  // then repeats the whole round. 0, or -1 with LastSocketError set.
  [[nodiscard]] int ConnectOut(platform::Socket s, const std::string& address, uint16_t port);
  // Host name to its first IPv4 address (dotted) and canonical name. 0 or -1.
  [[nodiscard]] int ResolveHost(const std::string& name, std::string* address,
                                std::string* canonical);
  // Host name to its first address, IPv4 before IPv6 (so a name with an IPv4 address gives
  // what ResolveHost gives), remembering the others for ConnectOut. A name in the DNS cache
  // gives its cached IPv4 address alone; only IPv4 addresses are put in the cache. 0 or -1.
  [[nodiscard]] int ResolveTarget(const std::string& name, std::string* address,
                                  std::string* canonical);
  // Sets the addresses ConnectOut goes on to when a connect to the first of them fails, as
  // ResolveTarget does with a name's addresses.
  void RememberTargets(std::vector<std::string> addresses);
  // The further addresses of the last ResolveTarget are tried only when they pass what the
  // first one passed: the rules for rule_number, client and data, and the target guard.
  void ScreenTargetsAs(int rule_number, const std::string& client, const std::string& data);
  // The remembered addresses, in order, that the screen lets through to port (none without a
  // screen).
  [[nodiscard]] std::vector<std::string> ScreenedTargets(uint16_t port) const;
  // Dotted address to its host name. 0 or -1.
  [[nodiscard]] int ResolveAddress(const std::string& dotted, std::string* name);

 private:
  // Posts the wait request to the dialler, waits to be resumed, asks LinkStatus.
  int WaitForDial();
  // Whether ConnectOut may try address after the first one failed.
  bool Screened(const std::string& address, uint16_t port) const;
  // ConnectOut's connects and retries over the addresses in turn.
  int ConnectRounds(platform::Socket s, const std::vector<std::string>& addresses, uint16_t port);

  platform::ThreadId thread_;
  std::vector<std::string> resolved_;  // the last ResolveTarget's addresses, in order
  bool screened_ = false;              // ScreenTargetsAs was called
  int screen_rule_ = 0;
  std::string screen_client_;
  std::string screen_data_;
};

// Address text of name: copied when dotted or IPv6 text already, else resolved as
// ResolveTarget does (may dial). "" on failure.
int AddressTextFor(const std::string& name, std::string* text);

}  // namespace engine
