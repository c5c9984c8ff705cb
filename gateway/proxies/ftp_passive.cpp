// The FTP session's passive mode: the client's PASV or EPSV becomes a PASV to the server; the
// gateway connects to the server's passive port at the control connection's server address
// and answers the client with a listener of its own, which admits only that client.
// Runs on the session's own thread, like the rest of FmCsFTPProxy.
#include <sys/socket.h>

#include <algorithm>

#include "gateway/engine/opening_wait.h"
#include "gateway/proxies/ftp_proxy.h"

namespace proxies {
namespace {

// The server's passive port is listening already: its connect needs no more than a connect.
constexpr int kPassiveConnectMs = 21000;

}  // namespace

int FmCsFTPProxy::HandlePassive(const std::string& line, bool extended) {
  if (server_socket_ == platform::kInvalidSocket) return SendText(client_socket_, kFtpNotConnected);
  if (extended) {
    switch (ParseFtpEpsv(line)) {
      case 0:
        break;
      case 1:
        // EPSV ALL binds the client, not the server, which still hears PASV from the gateway.
        return SendText(client_socket_, kFtpEpsvAll);
      case -2:
        return SendText(client_socket_, kFtpOnlyIpv4);
      default:
        return SendText(client_socket_, kFtpIllegalPort);
    }
  }
  CloseDataSockets();
  extended_passive_ = extended;
  return ForwardToServer("PASV\r\n", Awaiting::kPassiveReply);
}

int FmCsFTPProxy::OnPassiveLine(const std::string& line, bool last) {
  bool entering = replies_.code() == "227";
  // Any other answer (a refusal) is the client's to read as it is.
  if (!entering) {
    if (last) awaiting_ = Awaiting::kNothing;
    return SendText(client_socket_, line);
  }
  if (!last) return 0;  // the server's own text about its address goes nowhere
  awaiting_ = Awaiting::kNothing;
  if (PreparePassive(line) == 0) return 0;
  CloseDataSockets();
  return SendText(client_socket_, kFtpNoDataConnection);
}

// 0 once the server's data port is connected, the listener for the client is open and the
// client has the gateway's answer; -1 when a step failed (the caller tells the client).
int FmCsFTPProxy::PreparePassive(const std::string& reply) {
  int port = 0;
  std::string server;
  std::string here;
  // The address inside the reply is the server's word only: the data connection goes where
  // the control connection goes, so a hostile server cannot steer the gateway elsewhere.
  if (ParseFtpPassiveReply(reply, &port) != 0 || !platform::PeerAddress(server_socket_, &server) ||
      !platform::LocalAddress(client_socket_, &here)) {
    return -1;
  }
  server_data_socket_ = platform::CreateSocket(SOCK_STREAM);
  if (server_data_socket_ == platform::kInvalidSocket ||
      // The connect takes the session's messages: a kill ends it at once.
      engine::ConnectInOpening(server_data_socket_, server, static_cast<uint16_t>(port),
                               std::min(DataWaitMs(), kPassiveConnectMs)) != 0) {
    return -1;
  }
  // The listener sits on the address the client reached the gateway by.
  data_listener_ = OpenDataListener(here);
  if (data_listener_ == platform::kInvalidSocket) return -1;
  passive_ = true;
  data_peer_ = client_address_;
  uint16_t listening = platform::LocalPort(data_listener_);
  std::string answer =
      extended_passive_ ? FtpExtendedPassiveReply(listening) : FtpPassiveReply(here, listening);
  return SendText(client_socket_, answer);
}

}  // namespace proxies
