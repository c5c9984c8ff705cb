// The FTP session's life, its message handling, the log-in and the control relay.
// PORT, the transfer reply and the data relay are in ftp_transfer.cpp.
#include "gateway/proxies/ftp_proxy.h"

#include <sys/socket.h>

#include "gateway/engine/access_rules.h"
#include "gateway/engine/dial_context.h"
#include "gateway/engine/engine_messages.h"
#include "gateway/engine/link_provider.h"
#include "gateway/engine/service_catalogue.h"
#include "gateway/engine/target_guard.h"
#include "gateway/proxies/ftp_commands.h"

namespace proxies {
namespace {

// A server greeting longer than this many lines is not a greeting.
constexpr int kMaxGreetingLines = 1000;

constexpr long kReadAndClose = platform::kFdRead | platform::kFdClose;

bool IsCloseOrError(platform::Lparam lparam) {
  return platform::SelectEvent(lparam) == platform::kFdClose || platform::SelectError(lparam) != 0;
}

}  // namespace

FmCsFTPProxy::FmCsFTPProxy(platform::Socket listening_socket, int idle_timeout)
    : SessionThread(listening_socket, idle_timeout, engine::kCodeFtp) {}

FmCsFTPProxy::~FmCsFTPProxy() { CloseDataSockets(); }

bool FmCsFTPProxy::InitInstance() {
  if (!AcceptClient()) return false;
  if (Register(engine::kCodeFtp) != 0) return false;
  if (platform::AsyncSelect(client_socket_, window_, engine::kMsgProxyClientEvent, kReadAndClose) !=
      0) {
    return false;
  }
  platform::SetTimer(window_, kFtpOpeningTimer, 5000);
  return SendText(client_socket_, kFtpGreeting) == 0;
}

int FmCsFTPProxy::Run() {
  int code = WorkerThread::Run();
  Unregister();
  return code;
}

bool FmCsFTPProxy::OnIdle(long) {
  // Armed again after every notification, so the time-out counts from the last one.
  if (!ending_) ArmIdleTimer(kFtpIdleTimer);
  return false;
}

void FmCsFTPProxy::EndSession() {
  if (ending_) return;
  ending_ = true;
  KillIdleTimer();
  CloseDataSockets();
  CloseSockets();
  platform::PostQuitMessage(0);
}

bool FmCsFTPProxy::PreTranslateMessage(platform::Message& msg) {
  if (ending_) return true;  // what was queued before the end is dropped
  auto s = static_cast<platform::Socket>(msg.wparam);
  switch (msg.message) {
    case platform::kWmTimer:
      // A client waiting for a slow server is not idle.
      if (msg.target == window_ && msg.wparam == kFtpIdleTimer && !busy_) EndSession();
      if (msg.target == window_ && msg.wparam == kFtpOpeningTimer) {
        // A log-in that does not get through within the opening's bounds ends the session.
        if (server_socket_ != platform::kInvalidSocket && !awaiting_greeting_) {
          platform::KillTimer(window_, kFtpOpeningTimer);
        } else if (opening_.LeftMs() == 0) {
          EndSession();
        }
      }
      if (msg.target == window_ && msg.wparam == engine::kRelayWatchTimer && data_relay_ &&
          data_relay_->OnWatchTimer() != engine::RelayPair::Result::kGoOn) {
        CloseDataSockets();
      }
      return true;
    case engine::kMsgProxyClientEvent:
      if (msg.target == window_ && s == client_socket_ && OnClientEvent(msg.lparam) != 0) {
        EndSession();
      }
      return true;
    case engine::kMsgProxyServerEvent:
      if (msg.target == window_ && s == server_socket_ && OnServerEvent(msg.lparam) != 0) {
        EndSession();
      }
      return true;
    case engine::kMsgFtpDataEvent:
      if (msg.target == window_) OnDataEvent(s, msg.lparam);
      return true;
    case engine::kMsgKillSession:
      if (msg.target == 0) EndSession();
      return true;
    default:
      return false;
  }
}

int FmCsFTPProxy::OnClientEvent(platform::Lparam lparam) {
  if (IsCloseOrError(lparam)) return -1;
  KillIdleTimer();
  int n = client_lines_.Fill(client_socket_);
  if (n == -1 || n == 0) return -1;
  opening_.Progress();
  std::string line;
  while (!ending_) {
    FtpLineReader::Take taken = client_lines_.TakeLine(&line);
    if (taken == FtpLineReader::Take::kNone) break;
    // A line longer than the command buffer is refused whole; none of it is acted on.
    int rc = taken == FtpLineReader::Take::kTooLong ? SendText(client_socket_, kFtpLineTooLong)
                                                    : HandleCommand(line);
    if (rc != 0) return -1;
  }
  return 0;
}

int FmCsFTPProxy::HandleCommand(const std::string& line) {
  bool connected = server_socket_ != platform::kInvalidSocket;
  switch (ClassifyFtpCommand(line)) {
    case FtpCommand::kUser:
      return HandleLogin(line);
    case FtpCommand::kPort:
      return HandlePort(line);
    case FtpCommand::kQuit:
      return connected ? ForwardToServer(line) : -1;
    case FtpCommand::kTransfer:
      if (connected && ForwardToServer(line) != 0) return -1;
      // Only an active-mode transfer has data sockets to connect; a passive one is the
      // client's own business with the server.
      awaiting_transfer_reply_ = connected && data_listener_ != platform::kInvalidSocket;
      break;
    case FtpCommand::kOther:
      if (connected) return ForwardToServer(line);
      break;
  }
  // Before a log-in (FEAT, AUTH TLS, SYST, OPTS ...) the client hears a refusal and may go on
  // to log in.
  return connected ? 0 : SendText(client_socket_, kFtpNotConnected);
}

int FmCsFTPProxy::HandleLogin(const std::string& line) {
  std::string host;
  int port = 21;
  int parsed = ParseFtpLogin(line, &host, &port);
  if (parsed != 0) {
    return SendText(client_socket_, parsed == -1 ? kFtpUserRequired : kFtpConnectFailed);
  }
  std::string dotted = host;
  if (!platform::IsDottedAddress(host)) {
    std::string canonical;
    if (engine::DialContext().ResolveHost(host, &dotted, &canonical) != 0) {
      bool no_link = engine::Link().LinkStatus() == -1;
      return SendText(client_socket_, no_link ? kFtpNoDialer : kFtpNoHost);
    }
  }
  if (engine::CheckAccess(engine::kMatchByAddress, engine::RuleNumberFor(engine::kCodeFtp),
                          client_address_, dotted, "") != 0 ||
      engine::TargetRefused(client_address_, dotted, port)) {
    return SendText(client_socket_, kFtpDenied);
  }
  login_line_ = line;
  return ConnectServer(dotted, port);
}

int FmCsFTPProxy::ConnectServer(const std::string& dotted, int port) {
  if (server_socket_ != platform::kInvalidSocket) {
    CloseDataSockets();
    platform::CloseSocket(server_socket_);
    server_socket_ = platform::kInvalidSocket;
    (void)server_lines_.TakeAll();
    awaiting_transfer_reply_ = false;
    busy_ = false;
  }
  platform::Socket s = platform::CreateSocket(SOCK_STREAM);
  if (s == platform::kInvalidSocket) return -1;
  if (engine::DialContext().ConnectOut(s, dotted, static_cast<uint16_t>(port)) != 0) {
    platform::CloseSocket(s);
    bool no_link = engine::Link().LinkStatus() == -1;
    return SendText(client_socket_, no_link ? kFtpNoDialer : kFtpConnectFailed);
  }
  server_socket_ = s;
  if (platform::AsyncSelect(s, window_, engine::kMsgProxyServerEvent, kReadAndClose) != 0) {
    return -1;
  }
  // The client's answer comes from the server, once its greeting is over.
  awaiting_greeting_ = true;
  greeting_first_.clear();
  greeting_lines_ = 0;
  busy_ = true;
  return 0;
}

int FmCsFTPProxy::ForwardToServer(const std::string& line) {
  if (SendText(server_socket_, line) != 0) return -1;
  busy_ = true;
  return 0;
}

int FmCsFTPProxy::OnServerEvent(platform::Lparam lparam) {
  if (IsCloseOrError(lparam)) return -1;
  KillIdleTimer();
  if (awaiting_greeting_) return HandleGreeting();
  if (awaiting_transfer_reply_) return HandleTransferReply();
  return ForwardServerReply();
}

// The greeting is read line by line as it arrives and never forwarded; when its last line is
// in, the account name goes to the server, whose answer the client then reads.
int FmCsFTPProxy::HandleGreeting() {
  int n = server_lines_.Fill(server_socket_);
  if (n == -1 || n == 0) return -1;
  std::string line;
  for (;;) {
    if (server_lines_.TakeLine(&line) == FtpLineReader::Take::kNone) return 0;
    if (++greeting_lines_ > kMaxGreetingLines) return -1;
    bool first = greeting_first_.empty();
    if (first) greeting_first_ = line;
    bool last = first ? !OpensMultiLineReply(line) : EndsMultiLineReply(greeting_first_, line);
    if (last) break;
  }
  awaiting_greeting_ = false;
  if (greeting_first_[0] == '5') {
    // The server refuses the client: it hears why instead of waiting for an answer that will
    // not come. The session stays until the server closes or the time-out.
    busy_ = false;
    return SendText(client_socket_, line);
  }
  std::string user = FtpServerUserLine(login_line_);
  login_line_.clear();
  if (user.empty()) return -1;
  return ForwardToServer(user);
}

int FmCsFTPProxy::ForwardServerReply() {
  int n = server_lines_.Fill(server_socket_);
  if (n == -1 || n == 0) return -1;
  std::string reply = server_lines_.TakeAll();
  if (!reply.empty() && SendText(client_socket_, reply) != 0) return -1;
  busy_ = false;
  return 0;
}

}  // namespace proxies
