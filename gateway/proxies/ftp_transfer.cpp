// The FTP session's data connections: the PORT rewrite with a data listener of the gateway,
// the reply to a transfer command that decides whether they are connected, and the relay of
// the data between the client's and the server's data connections.
#include <arpa/inet.h>
#include <sys/socket.h>

#include "gateway/engine/engine_messages.h"
#include "gateway/engine/opening_wait.h"
#include "gateway/proxies/ftp_commands.h"
#include "gateway/proxies/ftp_proxy.h"

namespace proxies {
namespace {

constexpr int kDataListenBacklog = 5;

void CloseIfOpen(platform::Socket* s) {
  if (*s == platform::kInvalidSocket) return;
  platform::CloseSocket(*s);
  *s = platform::kInvalidSocket;
}

}  // namespace

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

int FmCsFTPProxy::HandlePort(const std::string& line) {
  if (server_socket_ == platform::kInvalidSocket) return SendText(client_socket_, kFtpNotConnected);
  std::string address;
  int port = 0;
  if (ParseFtpPort(line, &address, &port) != 0) return -1;
  if (address.empty() && !platform::PeerAddress(client_socket_, &address)) return -1;
  // A new PORT replaces data sockets an earlier one prepared and no transfer used.
  CloseDataSockets();
  client_data_address_ = sockaddr_in{};
  client_data_address_.sin_family = AF_INET;
  client_data_address_.sin_port = htons(static_cast<uint16_t>(port));
  inet_pton(AF_INET, address.c_str(), &client_data_address_.sin_addr);
  client_data_socket_ = platform::CreateSocket(SOCK_STREAM);
  data_listener_ = platform::CreateSocket(SOCK_STREAM);
  if (client_data_socket_ == platform::kInvalidSocket ||
      data_listener_ == platform::kInvalidSocket || platform::BindAny(data_listener_, 0) != 0 ||
      platform::Listen(data_listener_, kDataListenBacklog) != 0) {
    return -1;
  }
  // The server reaches the gateway's data listener at the address it sees the gateway by.
  sockaddr_in local{};
  socklen_t length = sizeof local;
  if (getsockname(server_socket_, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
    CloseDataSockets();
    return SendText(client_socket_, kFtpNotConnected);
  }
  std::string rewritten =
      FtpPortCommand(platform::DottedAddress(local.sin_addr), platform::LocalPort(data_listener_));
  if (SendText(server_socket_, rewritten) != 0) return -1;
  busy_ = true;
  return 0;
}

int FmCsFTPProxy::HandleTransferReply() {
  int n = server_lines_.Fill(server_socket_);
  if (n == -1 || n == 0) return -1;
  std::string reply = server_lines_.TakeAll();
  if (reply.empty()) return 0;
  awaiting_transfer_reply_ = false;
  if (SendText(client_socket_, reply) != 0) return -1;
  busy_ = false;
  // Only a preliminary reply (1xx) announces a data connection; after any other (a refusal
  // with 4xx or 5xx) the server never connects, so the prepared sockets go.
  if (reply[0] != '1') {
    CloseDataSockets();
    return 0;
  }
  return OpenDataConnections();
}

// Both waits are bounded, so a client or server that never connects ends the session instead
// of holding it.
int FmCsFTPProxy::OpenDataConnections() {
  int wait_ms = DataWaitMs();
  // Both waits take the session's messages: a kill ends them at once.
  bool ok =
      engine::ConnectInOpening(client_data_socket_, client_data_address_, wait_ms, false) == 0 &&
      engine::WaitInOpening(data_listener_, false, wait_ms) == engine::WaitResult::kReady;
  if (ok) {
    server_data_socket_ = platform::Accept(data_listener_);
    ok = server_data_socket_ != platform::kInvalidSocket;
  }
  CloseIfOpen(&data_listener_);
  if (!ok) return -1;
  data_relay_ = std::make_unique<engine::RelayPair>();
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
