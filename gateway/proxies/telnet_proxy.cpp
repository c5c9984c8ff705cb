// The Telnet session: prompt, line entry, connecting to the typed host, and the relay.
#include "gateway/proxies/telnet_proxy.h"

#include <sys/socket.h>

#include "gateway/engine/access_rules.h"
#include "gateway/engine/dial_context.h"
#include "gateway/engine/engine_messages.h"
#include "gateway/engine/link_provider.h"
#include "gateway/engine/service_catalogue.h"
#include "gateway/engine/session_account.h"
#include "gateway/engine/target_guard.h"
#include "platform/socket_errors.h"

namespace proxies {
namespace {

constexpr long kReadAndClose = platform::kFdRead | platform::kFdClose;

bool IsCloseOrError(platform::Lparam lparam) {
  return platform::SelectEvent(lparam) == platform::kFdClose || platform::SelectError(lparam) != 0;
}

}  // namespace

FmCsTelnetProxy::FmCsTelnetProxy(platform::Socket listening_socket, int idle_timeout)
    : SessionThread(listening_socket, idle_timeout, engine::kCodeTelnet) {}

bool FmCsTelnetProxy::InitInstance() {
  if (!AcceptClient()) return false;
  if (Register(engine::kCodeTelnet) != 0) return false;
  if (SendText(client_socket_, kTelnetPrompt) != 0) return false;
  platform::SetTimer(window_, kTelnetOpeningTimer, 5000);
  return platform::AsyncSelect(client_socket_, window_, engine::kMsgProxyClientEvent,
                               kReadAndClose) == 0;
}

int FmCsTelnetProxy::Run() {
  int code = WorkerThread::Run();
  Unregister();
  return code;
}

bool FmCsTelnetProxy::OnIdle(long) {
  if (!ending_) ArmIdleTimer(kTelnetIdleTimer);
  return false;
}

void FmCsTelnetProxy::EndSession() {
  if (ending_) return;
  ending_ = true;
  KillIdleTimer();
  CloseSockets();
  platform::PostQuitMessage(0);
}

// Every event is handled whole before the next message is taken, so the idle timer, killed
// by each event and armed again when the queue is empty, only fires after a quiet period.
bool FmCsTelnetProxy::PreTranslateMessage(platform::Message& msg) {
  if (ending_) return true;
  auto s = static_cast<platform::Socket>(msg.wparam);
  switch (msg.message) {
    case platform::kWmTimer:
      if (msg.target != window_) return true;
      if (msg.wparam == kTelnetIdleTimer) {
        NoteIdleEnd();
        EndSession();
      }
      if (msg.wparam == kTelnetOpeningTimer) {
        // A host that was never named within the opening's bounds ends the session.
        if (server_socket_ != platform::kInvalidSocket) {
          platform::KillTimer(window_, kTelnetOpeningTimer);
        } else if (opening_.LeftMs() == 0) {
          NoteIdleEnd();
          EndSession();
        }
      }
      if (msg.wparam == engine::kRelayWatchTimer &&
          relay_.OnWatchTimer() != engine::RelayPair::Result::kGoOn) {
        engine::NoteSessionEnding(engine::kEndStalled);
        EndSession();
      }
      return true;
    case engine::kMsgProxyClientEvent:
      // Line entry ends once connected; an event queued before that is dropped.
      if (msg.target == window_ && s == client_socket_ &&
          server_socket_ == platform::kInvalidSocket && OnLineEntry(msg.lparam) != 0) {
        EndSession();
      }
      return true;
    case engine::kMsgProxyServerEvent:
      if (msg.target == window_ && OnRelayEvent(s, msg.lparam) != 0) EndSession();
      return true;
    case engine::kMsgKillSession:
      if (msg.target == 0) {
        NoteKilled();
        EndSession();
      }
      return true;
    default:
      return false;
  }
}

int FmCsTelnetProxy::OnLineEntry(platform::Lparam lparam) {
  if (IsCloseOrError(lparam)) return -1;
  KillIdleTimer();
  char bytes[kTelnetBufferSize];
  // One read takes at most the receive buffer's worth; the rest comes with the next event.
  int n = platform::Recv(client_socket_, bytes, sizeof bytes - 1);
  if (n < 0) {
    int err = platform::LastSocketError();
    return err == platform::kWsaEWouldBlock || err == platform::kWsaENoBufs ? 0 : -1;
  }
  if (n == 0) return -1;
  opening_.Progress();
  bool ended = false;
  std::string echo = editor_.Feed(std::string_view(bytes, static_cast<size_t>(n)), &ended);
  if (!echo.empty() && SendText(client_socket_, echo) != 0) return -1;
  if (!ended) return 0;
  switch (ProcessHostLine()) {
    case HostResult::kConnected:
      return 0;
    case HostResult::kFinish:
      return -1;
    case HostResult::kRetry:
      break;
  }
  editor_.Clear();
  return SendText(client_socket_, kTelnetPrompt);
}

FmCsTelnetProxy::HostResult FmCsTelnetProxy::Report(const char* text) {
  return SendText(client_socket_, text) == 0 ? HostResult::kRetry : HostResult::kFinish;
}

FmCsTelnetProxy::HostResult FmCsTelnetProxy::ProcessHostLine() {
  std::string host = HostFromLine(editor_.line());
  if (host.empty()) return HostResult::kRetry;
  if (IsExitLine(host)) return HostResult::kFinish;
  if (SendText(client_socket_, kTelnetConnecting) != 0) return HostResult::kRetry;
  engine::NoteSessionDestination(host, kTelnetPort);
  std::string dotted = host;
  if (!platform::IsDottedAddress(host)) {
    std::string canonical;
    if (engine::DialContext().ResolveHost(host, &dotted, &canonical) != 0) {
      return Report(engine::Link().LinkStatus() == -1 ? kTelnetNoDialer : kTelnetNoHost);
    }
  }
  if (engine::CheckAccess(engine::kMatchByAddress, engine::RuleNumberFor(engine::kCodeTelnet),
                          client_address_, dotted, "") != 0 ||
      engine::TargetRefused(client_address_, dotted, kTelnetPort)) {
    return Report(kTelnetDenied);
  }
  return ConnectTo(dotted);
}

FmCsTelnetProxy::HostResult FmCsTelnetProxy::ConnectTo(const std::string& dotted) {
  platform::Socket s = platform::CreateSocket(SOCK_STREAM);
  if (s == platform::kInvalidSocket) return HostResult::kFinish;
  if (engine::DialContext().ConnectOut(s, dotted, kTelnetPort) != 0) {
    platform::CloseSocket(s);
    return Report(engine::Link().LinkStatus() == -1 ? kTelnetNoDialer : kTelnetConnectFailed);
  }
  server_socket_ = s;
  account().ClearEnding();  // a refused host named before this one is not how it ends
  if (SendText(client_socket_, kTelnetConnected) != 0) return HostResult::kFinish;
  if (relay_.Start(client_socket_, server_socket_, window_, engine::kMsgProxyServerEvent) != 0) {
    return HostResult::kFinish;
  }
  return HostResult::kConnected;
}

int FmCsTelnetProxy::OnRelayEvent(platform::Socket s, platform::Lparam lparam) {
  if (s != client_socket_ && s != server_socket_) return 0;  // not (or no longer) ours
  KillIdleTimer();
  // A host's close ends the session only once what it printed reached the client.
  return relay_.OnSocketEvent(s, lparam) == engine::RelayPair::Result::kGoOn ? 0 : -1;
}

}  // namespace proxies
