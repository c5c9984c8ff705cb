// The outbound operations every session uses to reach the Internet: make sure the link is up
// (dialling on demand and waiting for the dialler), connect, resolve names (through the
// DnsCache when UseDnsCache is on). A DialContext is made by a session thread for itself and
// used only by that thread; the free functions are thread-safe.
#pragma once

#include <netinet/in.h>

#include <string>

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
  // EnsureLink, then up to 3 connects; retries (after 5 s) only on WSAENOBUFS or WSAETIMEDOUT.
  // 0, or -1 with LastSocketError set.
  [[nodiscard]] int ConnectOut(platform::Socket s, const sockaddr_in& to);
  [[nodiscard]] int ConnectOut(platform::Socket s, const std::string& dotted, uint16_t port);
  // Host name to its first IPv4 address (dotted) and canonical name. 0 or -1.
  [[nodiscard]] int ResolveHost(const std::string& name, std::string* address,
                                std::string* canonical);
  // Dotted address to its host name. 0 or -1.
  [[nodiscard]] int ResolveAddress(const std::string& dotted, std::string* name);

 private:
  // Posts the wait request to the dialler, waits to be resumed, asks LinkStatus.
  int WaitForDial();

  platform::ThreadId thread_;
};

// Dotted text of name: copied when dotted already, else resolved (may dial). "" on failure.
int AddressTextFor(const std::string& name, std::string* text);
// getpeername as dotted text; *text untouched for kInvalidSocket or an unconnected socket.
void GetPeerAddress(platform::Socket s, std::string* text);

}  // namespace engine
