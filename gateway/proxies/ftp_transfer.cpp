// The FTP session's data connections: PORT and EPRT rewritten with a data listener of the
// gateway, the reply to a transfer command that decides whether they are connected, the
// accept that admits only the expected peer, and the relay of the data between the client's
// and the server's data connections.
#include <arpa/inet.h>
#include <sys/socket.h>

#include <chrono>

#include "gateway/engine/engine_messages.h"
#include "gateway/engine/opening_wait.h"
#include "gateway/proxies/ftp_commands.h"
#include "gateway/proxies/ftp_proxy.h"
#include "platform/byte_meter.h"
#include "platform/socket_errors.h"

namespace proxies {
namespace {

constexpr int kDataListenBacklog = 5;

void CloseIfOpen(platform::Socket* s) {
  if (*s == platform::kInvalidSocket) return;
  platform::CloseSocket(*s);
  *s = platform::kInvalidSocket;
}

using Clock = std::chrono::steady_clock;

}  // namespace

platform::Socket OpenDataListener(const std::string& address) {
  platform::Socket s = platform::CreateSocket(SOCK_STREAM);
  if (s == platform::kInvalidSocket) return s;
  int bound = address.empty() ? platform::BindAny(s, 0) : platform::BindAddress(s, address, 0);
  // Non-blocking, so that an accept after a connection vanished from the queue never waits.
  if (bound != 0 || platform::Listen(s, kDataListenBacklog) != 0 ||
      platform::SetNonBlocking(s, true) != 0) {
    platform::CloseSocket(s);
    return platform::kInvalidSocket;
  }
  return s;
}

// Accepts on listener the first connection from expected within wait_ms. Anyone else knocking
// is closed at once and the wait goes on: a data port is no door for a third host.
platform::Socket AcceptFrom(platform::Socket listener, const std::string& expected, int wait_ms) {
  Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(wait_ms);
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0 ||
        engine::WaitInOpening(listener, false, static_cast<int>(left.count())) !=
            engine::WaitResult::kReady) {
      return platform::kInvalidSocket;
    }
    sockaddr_in peer{};
    platform::Socket s = platform::Accept(listener, &peer);
    if (s == platform::kInvalidSocket) {
      // A connection that went away before it was taken is no reason to stop waiting.
      int error = platform::LastSocketError();
      if (error == platform::kWsaEConnAborted || error == platform::kWsaEWouldBlock) continue;
      return platform::kInvalidSocket;
    }
    if (platform::DottedAddress(peer.sin_addr) == expected) return s;
    platform::CloseSocket(s);
  }
}

void FmCsFTPProxy::CloseDataSockets() {
  if (data_relay_) data_relay_->Stop();
  data_relay_.reset();
  CloseIfOpen(&client_data_socket_);
  CloseIfOpen(&data_listener_);
  CloseIfOpen(&server_data_socket_);
}

int FmCsFTPProxy::DataWaitMs() const {
  return idle_timeout_ > 0 ? idle_timeout_ * 1000 : kFtpDataWaitMs;
}

int FmCsFTPProxy::HandlePortLine(const std::string& line) {
  if (server_socket_ == platform::kInvalidSocket) return SendText(client_socket_, kFtpNotConnected);
  std::string address;
  int port = 0;
  if (ParseFtpPort(line, &address, &port) != 0) return -1;
  return PrepareActive(address, port);
}

int FmCsFTPProxy::HandleEprtLine(const std::string& line) {
  if (server_socket_ == platform::kInvalidSocket) return SendText(client_socket_, kFtpNotConnected);
  std::string address;
  int port = 0;
  int parsed = ParseFtpEprt(line, &address, &port);
  if (parsed == -2) return SendText(client_socket_, kFtpOnlyIpv4);
  if (parsed != 0) return SendText(client_socket_, kFtpIllegalPort);
  return PrepareActive(address, port);
}

// Active mode: the server connects to a listener of the gateway, the gateway to the client.
// address is the one the client named ("" when it named none: then its own is meant).
int FmCsFTPProxy::PrepareActive(std::string address, int port) {
  std::string own;
  if (!platform::PeerAddress(client_socket_, &own)) return -1;
  if (address.empty()) address = own;
  // Data goes only to the client that asked for it; any other address would let a client
  // make the gateway connect, and push files, wherever it liked.
  if (address != own || port == 0) return SendText(client_socket_, kFtpIllegalPort);
  std::string server;
  if (!platform::PeerAddress(server_socket_, &server)) {
    return SendText(client_socket_, kFtpNotConnected);
  }
  // A new PORT replaces data sockets an earlier one prepared and no transfer used.
  CloseDataSockets();
  passive_ = false;
  data_peer_ = server;
  client_data_address_ = sockaddr_in{};
  client_data_address_.sin_family = AF_INET;
  client_data_address_.sin_port = htons(static_cast<uint16_t>(port));
  inet_pton(AF_INET, address.c_str(), &client_data_address_.sin_addr);
  client_data_socket_ = platform::CreateSocket(SOCK_STREAM);
  data_listener_ = OpenDataListener("");
  if (client_data_socket_ == platform::kInvalidSocket ||
      data_listener_ == platform::kInvalidSocket) {
    return -1;
  }
  // The server reaches the gateway's data listener at the address it sees the gateway by.
  std::string local;
  if (!platform::LocalAddress(server_socket_, &local)) {
    CloseDataSockets();
    return SendText(client_socket_, kFtpNotConnected);
  }
  return ForwardToServer(FtpPortCommand(local, platform::LocalPort(data_listener_)),
                         Awaiting::kReply);
}

int FmCsFTPProxy::OnTransferLine(const std::string& line, bool last) {
  if (SendText(client_socket_, line) != 0) return -1;
  if (!last) return 0;
  if (replies_.code()[0] == '1') {
    // Only a preliminary reply announces a data connection.
    if (awaiting_ == Awaiting::kTransferEnd) return 0;
    awaiting_ = Awaiting::kTransferEnd;
    return OpenDataConnections();
  }
  // After a refusal (4xx, 5xx) without a preliminary reply the server never connects, so the
  // prepared sockets go; after the closing reply of a transfer the relay ends them itself.
  if (awaiting_ == Awaiting::kTransferReply) CloseDataSockets();
  awaiting_ = Awaiting::kNothing;
  return 0;
}

// Both waits are bounded, so a client or server that never connects ends the session instead
// of holding it.
int FmCsFTPProxy::OpenDataConnections() {
  if (data_listener_ == platform::kInvalidSocket) return 0;  // the client prepared nothing
  int wait_ms = DataWaitMs();
  // Every wait takes the session's messages: a kill ends it at once.
  bool ok = false;
  if (passive_) {
    client_data_socket_ = AcceptFrom(data_listener_, data_peer_, wait_ms);
    ok = client_data_socket_ != platform::kInvalidSocket;
  } else if (engine::ConnectInOpening(client_data_socket_, client_data_address_, wait_ms, false) ==
             0) {
    server_data_socket_ = AcceptFrom(data_listener_, data_peer_, wait_ms);
    ok = server_data_socket_ != platform::kInvalidSocket;
  }
  CloseIfOpen(&data_listener_);
  if (!ok) return -1;
  data_relay_ = std::make_unique<engine::RelayPair>();
  platform::MeterSocket(client_data_socket_);  // its bytes count as the session's
  // The client's data connection stands in the client's place, the server's in the server's.
  return data_relay_->Start(client_data_socket_, server_data_socket_, window_,
                            engine::kMsgFtpDataEvent);
}

void FmCsFTPProxy::OnDataEvent(platform::Socket s, platform::Lparam lparam) {
  // A transfer in progress is activity, however quiet the control connection is.
  KillIdleTimer();
  if (s == platform::kInvalidSocket || (s != client_data_socket_ && s != server_data_socket_)) {
    return;  // an event of data sockets already closed
  }
  // A close ends the transfer once the bytes held for the other side were delivered.
  if (!data_relay_ || data_relay_->OnSocketEvent(s, lparam) != engine::RelayPair::Result::kGoOn) {
    CloseDataSockets();
  }
}

}  // namespace proxies
