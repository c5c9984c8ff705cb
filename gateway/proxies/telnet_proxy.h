// FmCsTelnetProxy: one Telnet client. The gateway prompts for the destination host, lets the
// user type and edit it, connects to port 23 of that host and then relays bytes both ways
// unchanged (option negotiation included) until either side closes.
// Owned by its own thread (auto-deleting); only that thread touches its sockets and buffers.
#pragma once

#include <string>

#include "gateway/engine/opening_wait.h"
#include "gateway/engine/relay_pair.h"
#include "gateway/engine/session_thread.h"
#include "gateway/proxies/tcp_proxies_relay.h"
#include "gateway/proxies/telnet_line_editor.h"

namespace proxies {

inline constexpr char kTelnetPrompt[] = "Wayfarer (Host Name) >";
inline constexpr char kTelnetConnecting[] = "Connecting to destination.....";
inline constexpr char kTelnetNoDialer[] = "Dialer could not connect to ISP.\r\n";
inline constexpr char kTelnetNoHost[] = "No host in that name.\r\n";
inline constexpr char kTelnetDenied[] = "Access Denied\r\nContact Your Administrator.\r\n";
inline constexpr char kTelnetConnected[] = "Connected.\r\n";
inline constexpr char kTelnetConnectFailed[] = "Connection failed.\r\n";
inline constexpr uint16_t kTelnetPort = 23;
// Idle timer id of the Telnet sessions.
inline constexpr uintptr_t kTelnetIdleTimer = 100;
// Checks the bounds of the host prompt (an opening), whatever the idle time-out says.
inline constexpr uintptr_t kTelnetOpeningTimer = 101;

class FmCsTelnetProxy : public engine::SessionThread {
 public:
  FmCsTelnetProxy(platform::Socket listening_socket, int idle_timeout);

 protected:
  bool InitInstance() override;
  int Run() override;
  bool PreTranslateMessage(platform::Message& msg) override;
  bool OnIdle(long count) override;

 private:
  enum class HostResult { kConnected, kFinish, kRetry };

  // 0, or -1 when the session must end.
  int OnLineEntry(platform::Lparam lparam);
  int OnRelayEvent(platform::Socket s, platform::Lparam lparam);
  HostResult ProcessHostLine();
  HostResult ConnectTo(const std::string& dotted);
  // Sends a failure text: kRetry when it went out, kFinish when the client is gone.
  HostResult Report(const char* text);
  void EndSession();

  TelnetLineEditor editor_;
  engine::RelayPair relay_;
  engine::OpeningDeadline opening_;
  bool ending_ = false;
};

}  // namespace proxies
