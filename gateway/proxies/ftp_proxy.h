// FmCsFTPProxy: one client's FTP control connection. The client logs in as account@server;
// the session opens the server's control connection itself, logs in there with the plain
// account name and relays the dialogue, rewriting PORT so that the server connects to a data
// listener of the gateway while the session connects to the client's data port.
// Owned by its own thread (auto-deleting); only that thread touches its sockets and buffers.
#pragma once

#include <netinet/in.h>

#include <memory>
#include <string>

#include "gateway/engine/opening_wait.h"
#include "gateway/engine/relay_pair.h"
#include "gateway/engine/session_thread.h"
#include "gateway/proxies/ftp_line_reader.h"
#include "gateway/proxies/tcp_proxies_relay.h"

namespace proxies {

// Idle timer id of the FTP sessions.
inline constexpr uintptr_t kFtpIdleTimer = 99;
// Checks the bounds of the log-in (an opening), whatever the idle time-out says.
inline constexpr uintptr_t kFtpOpeningTimer = 98;
// Bound of the data connection's connect and accept when the service has no idle time-out.
inline constexpr int kFtpDataWaitMs = 60 * 1000;

class FmCsFTPProxy : public engine::SessionThread {
 public:
  FmCsFTPProxy(platform::Socket listening_socket, int idle_timeout);
  ~FmCsFTPProxy() override;

 protected:
  bool InitInstance() override;
  int Run() override;
  bool PreTranslateMessage(platform::Message& msg) override;
  bool OnIdle(long count) override;

 private:
  // Each handler returns 0, or -1 when the session must end.
  int OnClientEvent(platform::Lparam lparam);
  int OnServerEvent(platform::Lparam lparam);
  int HandleCommand(const std::string& line);
  int HandleLogin(const std::string& line);
  int ConnectServer(const std::string& dotted, int port);
  int ForwardToServer(const std::string& line);
  int HandleGreeting();
  int ForwardServerReply();
  // ftp_transfer.cpp: PORT, the transfer reply and the data relay.
  int HandlePort(const std::string& line);
  int HandleTransferReply();
  int OpenDataConnections();
  void OnDataEvent(platform::Socket s, platform::Lparam lparam);
  void CloseDataSockets();
  [[nodiscard]] int DataWaitMs() const;
  void EndSession();

  platform::Socket client_data_socket_ = platform::kInvalidSocket;
  platform::Socket data_listener_ = platform::kInvalidSocket;
  platform::Socket server_data_socket_ = platform::kInvalidSocket;
  sockaddr_in client_data_address_{};
  FtpLineReader client_lines_;
  FtpLineReader server_lines_;
  std::unique_ptr<engine::RelayPair> data_relay_;  // while a transfer runs
  engine::OpeningDeadline opening_;
  std::string login_line_;      // the client's log-in line, until the server's greeting ends
  std::string greeting_first_;  // first line of the server's greeting being read
  int greeting_lines_ = 0;
  bool awaiting_greeting_ = false;
  bool awaiting_transfer_reply_ = false;
  bool busy_ = false;  // a client command waits for the server's answer
  bool ending_ = false;
};

}  // namespace proxies
