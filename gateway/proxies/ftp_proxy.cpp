// The FTP session's life, its message handling, the log-in and the control relay.
// PORT, the transfer reply and the data relay are in ftp_transfer.cpp.
#include "gateway/proxies/ftp_proxy.h"

#include <sys/socket.h>

#include "gateway/engine/access_rules.h"
#include "gateway/engine/dial_context.h"
#include "gateway/engine/engine_messages.h"
#include "gateway/engine/link_provider.h"
#include "gateway/engine/service_catalogue.h"
#include "gateway/engine/session_account.h"
#include "gateway/engine/target_guard.h"
#include "gateway/proxies/ftp_commands.h"

namespace proxies {
namespace {

// A server greeting longer than this many lines is not a greeting.
constexpr int kMaxGreetingLines = 1000;
// Client lines handled in one turn before the session looks at its other messages.
constexpr int kLinesPerTurn = 64;

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
      if (msg.target == window_ && msg.wparam == kFtpIdleTimer && !Busy()) {
        NoteIdleEnd();
        EndSession();
      }
      if (msg.target == window_ && msg.wparam == kFtpOpeningTimer) {
        // A log-in that does not get through within the opening's bounds ends the session.
        if (server_socket_ != platform::kInvalidSocket && !awaiting_greeting_) {
          platform::KillTimer(window_, kFtpOpeningTimer);
        } else if (opening_.LeftMs() == 0) {
          NoteIdleEnd();
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
      if (msg.target == 0) {
        NoteKilled();
        EndSession();
      }
      return true;
    default:
      return false;
  }
}

bool FmCsFTPProxy::Busy() const {
  return awaiting_greeting_ ||
         (awaiting_ != Awaiting::kNothing && awaiting_ != Awaiting::kTransferEnd);
}

int FmCsFTPProxy::OnClientEvent(platform::Lparam lparam) {
  if (IsCloseOrError(lparam)) return -1;
  KillIdleTimer();
  int n = client_lines_.Fill(client_socket_);
  if (n == -1 || n == 0) return -1;
  opening_.Progress();
  return RunClientLines();
}

// Takes the client's lines while no reply is awaited. Lines that arrive meanwhile wait in the
// line buffer, and the socket is read again only when the buffer has room.
int FmCsFTPProxy::RunClientLines() {
  std::string line;
  for (int taken = 0; !ending_ && !awaiting_greeting_ && awaiting_ == Awaiting::kNothing;) {
    if (taken == kLinesPerTurn) {
      // A client that pipelines without end is served in turns with the other messages.
      platform::PostMessage(window_, engine::kMsgProxyClientEvent, client_socket_,
                            platform::MakeSelectLparam(platform::kFdRead, 0));
      return 0;
    }
    FtpLineReader::Take took = client_lines_.TakeLine(&line);
    if (took == FtpLineReader::Take::kNone) {
      int n = client_lines_.Fill(client_socket_);
      if (n == -2) return 0;
      if (n <= 0) return -1;
      continue;
    }
    ++taken;
    // A line longer than the command buffer is refused whole; none of it is acted on.
    int rc = took == FtpLineReader::Take::kTooLong ? SendText(client_socket_, kFtpLineTooLong)
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
      return HandlePortLine(line);
    case FtpCommand::kExtPort:
      return HandleEprtLine(line);
    case FtpCommand::kPassive:
      return HandlePassive(line, false);
    case FtpCommand::kExtPassive:
      return HandlePassive(line, true);
    case FtpCommand::kQuit:
      return connected ? ForwardToServer(line, Awaiting::kReply) : -1;
    case FtpCommand::kTransfer:
      if (connected) return ForwardToServer(line, Awaiting::kTransferReply);
      break;
    case FtpCommand::kOther:
      if (connected) return ForwardToServer(line, Awaiting::kReply);
      break;
  }
  // Before a log-in (FEAT, AUTH TLS, SYST, OPTS ...) the client hears a refusal and may go on
  // to log in.
  return SendText(client_socket_, kFtpNotConnected);
}

int FmCsFTPProxy::HandleLogin(const std::string& line) {
  std::string host;
  int port = 21;
  int parsed = ParseFtpLogin(line, &host, &port);
  if (parsed != 0) {
    return SendText(client_socket_, parsed == -1 ? kFtpUserRequired : kFtpConnectFailed);
  }
  engine::NoteSessionDestination(host, port);
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
    replies_ = FtpReplyTracker();
    awaiting_ = Awaiting::kNothing;
  }
  platform::Socket s = platform::CreateSocket(SOCK_STREAM);
  if (s == platform::kInvalidSocket) return -1;
  if (engine::DialContext().ConnectOut(s, dotted, static_cast<uint16_t>(port)) != 0) {
    platform::CloseSocket(s);
    bool no_link = engine::Link().LinkStatus() == -1;
    return SendText(client_socket_, no_link ? kFtpNoDialer : kFtpConnectFailed);
  }
  server_socket_ = s;
  account().ClearEnding();  // a refused log-in before this one is not how it ends
  if (platform::AsyncSelect(s, window_, engine::kMsgProxyServerEvent, kReadAndClose) != 0) {
    return -1;
  }
  // The client's answer comes from the server, once its greeting is over.
  awaiting_greeting_ = true;
  greeting_lines_ = 0;
  return 0;
}

int FmCsFTPProxy::ForwardToServer(const std::string& line, Awaiting awaiting) {
  if (SendText(server_socket_, line) != 0) return -1;
  awaiting_ = awaiting;
  return 0;
}

int FmCsFTPProxy::OnServerEvent(platform::Lparam lparam) {
  if (IsCloseOrError(lparam)) return -1;
  KillIdleTimer();
  int n = server_lines_.Fill(server_socket_);
  if (n == -1 || n == 0) return -1;
  std::string line;
  for (;;) {
    FtpLineReader::Take took = server_lines_.TakeLine(&line);
    if (took == FtpLineReader::Take::kNone) break;
    // The client gets a reply line cut to the buffer as a whole line.
    if (took == FtpLineReader::Take::kTooLong) line += "\r\n";
    int rc = awaiting_greeting_ ? OnGreetingLine(line) : OnServerLine(line);
    if (rc != 0) return -1;
  }
  return Busy() ? 0 : RunClientLines();
}

// The greeting is never forwarded; when its last line is in, the account name goes to the
// server, whose answer the client then reads.
int FmCsFTPProxy::OnGreetingLine(const std::string& line) {
  if (++greeting_lines_ > kMaxGreetingLines) return -1;
  if (!replies_.EndsReply(line)) return 0;
  awaiting_greeting_ = false;
  if (replies_.code()[0] == '5') {
    // The server refuses the client: it hears why instead of waiting for an answer that will
    // not come. The session stays until the server closes or the time-out.
    return SendText(client_socket_, line);
  }
  std::string user = FtpServerUserLine(login_line_);
  login_line_.clear();
  if (user.empty()) return -1;
  return ForwardToServer(user, Awaiting::kReply);
}

int FmCsFTPProxy::OnServerLine(const std::string& line) {
  bool last = replies_.EndsReply(line);
  switch (awaiting_) {
    case Awaiting::kPassiveReply:
      return OnPassiveLine(line, last);
    case Awaiting::kTransferReply:
    case Awaiting::kTransferEnd:
      return OnTransferLine(line, last);
    case Awaiting::kReply:
      // A preliminary reply (1xx) is followed by the command's real one.
      if (last && replies_.code()[0] != '1') awaiting_ = Awaiting::kNothing;
      break;
    case Awaiting::kNothing:
      break;
  }
  return SendText(client_socket_, line);
}

}  // namespace proxies
