// What every session kind shares: its sockets, its private target, the accept of its client,
// its registration (removed exactly once, whichever path ends it) and the process-wide count
// of live sessions that the shut-down waits on, and its access record (logged when the object
// ends). A session object is owned by its own thread and deletes itself when the thread ends;
// nothing else touches its members but the registry, which reads the record's byte counts.
#pragma once

#include <string>

#include "gateway/engine/session_account.h"
#include "platform/socket.h"
#include "platform/worker_thread.h"

namespace engine {

class SessionThread : public platform::WorkerThread {
 public:
  SessionThread(platform::Socket listening_socket, int idle_timeout, int service_code);
  ~SessionThread() override;

  // Sessions alive now, and a bounded wait for them all to end (shut-down).
  [[nodiscard]] static int LiveSessions();
  static bool WaitForSessions(int timeout_ms);
  // Shut-down: sends the kill message to every session thread, registered or still opening,
  // and makes sessions that start from now on end at once.
  static void KillAll();
  // True from KillAll until AllowSessions.
  [[nodiscard]] static bool Stopping();
  // A new engine start in the same process (the tests start several): sessions may start again.
  static void AllowSessions();
  // The dispatcher accepted the client already: AcceptClient takes this socket (owned by the
  // session from now on) instead of accepting. Before the thread starts only.
  void set_accepted_socket(platform::Socket s) { accepted_socket_ = s; }
  // The session's access record (bytes so far, destination, ending); its own thread only.
  [[nodiscard]] SessionAccount& account() { return account_; }

 protected:
  // Creates the private target, takes the client (accepted by the dispatcher, or accepted
  // here from the listening socket) and its address. False when there is no client, the
  // client is outside AllowedClients (closed, client socket kInvalidSocket), or the gateway
  // is shutting down: the session must end at once.
  bool AcceptClient();
  // The idle time-out or a kill ends the session: noted for the access log.
  void NoteIdleEnd() { account_.SetEnding(kEndIdle); }
  void NoteKilled() { account_.SetEnding(kEndKilled); }
  // Registers under code (once). 0 or -1.
  int Register(int code);
  // Removes the registration when there is one.
  void Unregister();
  // Stops both sockets' events and closes them.
  void CloseSockets();
  // The idle timer of the kinds that arm it whenever their thread falls idle (FTP, Telnet, UDP
  // mapping, each with its own id): armed when the session has a timeout and it is not armed.
  void ArmIdleTimer(uintptr_t id);
  void KillIdleTimer();

  platform::Socket listening_socket_;
  platform::Socket client_socket_ = platform::kInvalidSocket;
  platform::Socket server_socket_ = platform::kInvalidSocket;
  platform::TargetId window_ = 0;
  int idle_timeout_;  // seconds, -1: none
  int service_code_;
  std::string client_address_;

 private:
  platform::Socket accepted_socket_ = platform::kInvalidSocket;
  uintptr_t idle_timer_id_ = 0;  // 0: not armed
  bool registered_ = false;
  int registered_code_ = 0;
  std::string registered_name_;
  SessionAccount account_;  // logged when the session object ends
};

}  // namespace engine
