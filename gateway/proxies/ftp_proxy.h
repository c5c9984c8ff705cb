// FmCsFTPProxy: one client's FTP control connection. The client logs in as account@server;
// the session opens the server's control connection itself, logs in there with the plain
// account name and relays the dialogue, rewriting PORT so that the server connects to a data
// listener of the gateway while the session connects to the client's data port, or, for
// PASV and EPSV, connecting to the server's passive port and offering the client its own.
// Owned by its own thread (auto-deleting); only that thread touches its sockets and buffers.
#pragma once

#include <netinet/in.h>

#include <memory>
#include <string>

#include "gateway/engine/opening_wait.h"
#include "gateway/engine/relay_pair.h"
#include "gateway/engine/session_thread.h"
#include "gateway/proxies/ftp_commands.h"
#include "gateway/proxies/ftp_line_reader.h"
#include "gateway/proxies/tcp_proxies_relay.h"

namespace proxies {

// Idle timer id of the FTP sessions.
inline constexpr uintptr_t kFtpIdleTimer = 99;
// Checks the bounds of the log-in (an opening), whatever the idle time-out says.
inline constexpr uintptr_t kFtpOpeningTimer = 98;
// Bound of the data connection's connect and accept when the service has no idle time-out.
inline constexpr int kFtpDataWaitMs = 60 * 1000;

// A data listener of the gateway on a free port of address (every address when ""),
// non-blocking for AcceptFrom. kInvalidSocket on failure.
[[nodiscard]] platform::Socket OpenDataListener(const std::string& address);
// Accepts on listener the first connection from the dotted address expected within wait_ms,
// closing every other one; kInvalidSocket when none came in time or the listener failed.
[[nodiscard]] platform::Socket AcceptFrom(platform::Socket listener, const std::string& expected,
                                          int wait_ms);

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
  // What the server's next reply answers. Client commands are taken one at a time: the next
  // waits until the reply to the last one is complete, so that replies reach the client in
  // the order of its commands however many arrive in one packet.
  enum class Awaiting {
    kNothing,
    kReply,          // an ordinary command
    kTransferReply,  // a transfer command: a 1xx reply opens the data connections
    kTransferEnd,    // the data connections are open: the transfer's closing reply
    kPassiveReply,   // PASV sent for the client's PASV or EPSV: the gateway answers instead
  };

  // Each handler returns 0, or -1 when the session must end.
  int OnClientEvent(platform::Lparam lparam);
  int RunClientLines();
  int HandleCommand(const std::string& line);
  int HandleLogin(const std::string& line);
  int ConnectServer(const std::string& dotted, int port);
  int ForwardToServer(const std::string& line, Awaiting awaiting);
  int OnServerEvent(platform::Lparam lparam);
  int OnGreetingLine(const std::string& line);
  int OnServerLine(const std::string& line);
  // True while a client command waits for the server (the idle time-out does not count then).
  [[nodiscard]] bool Busy() const;
  // ftp_transfer.cpp: PORT and EPRT, the transfer reply, the data relay.
  int HandlePortLine(const std::string& line);
  int HandleEprtLine(const std::string& line);
  int PrepareActive(std::string address, int port);
  int OnTransferLine(const std::string& line, bool last);
  int OpenDataConnections();
  void OnDataEvent(platform::Socket s, platform::Lparam lparam);
  void CloseDataSockets();
  [[nodiscard]] int DataWaitMs() const;
  // ftp_passive.cpp: PASV and EPSV.
  int HandlePassive(const std::string& line, bool extended);
  int OnPassiveLine(const std::string& line, bool last);
  int PreparePassive(const std::string& reply);
  void EndSession();

  platform::Socket client_data_socket_ = platform::kInvalidSocket;
  platform::Socket data_listener_ = platform::kInvalidSocket;
  platform::Socket server_data_socket_ = platform::kInvalidSocket;
  sockaddr_in client_data_address_{};
  std::string data_peer_;          // the only address the data listener accepts
  bool passive_ = false;           // the prepared data connections are the client's passive ones
  bool extended_passive_ = false;  // the client asked with EPSV
  FtpLineReader client_lines_;
  FtpLineReader server_lines_;
  FtpReplyTracker replies_;
  std::unique_ptr<engine::RelayPair> data_relay_;  // while a transfer runs
  engine::OpeningDeadline opening_;
  std::string login_line_;  // the client's log-in line, until the server's greeting ends
  int greeting_lines_ = 0;
  bool awaiting_greeting_ = false;
  Awaiting awaiting_ = Awaiting::kNothing;
  bool ending_ = false;
};

}  // namespace proxies
