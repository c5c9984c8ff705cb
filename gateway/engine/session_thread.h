// What every session kind shares: its sockets, its private target, the accept of its client,
// its registration (removed exactly once, whichever path ends it) and the process-wide count
// of live sessions that the shut-down waits on. A session object is owned by its own thread
// and deletes itself when the thread ends; nothing else touches its members.
#pragma once

#include <string>

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

 protected:
  // Creates the private target, accepts the client from the listening socket and takes its
  // address. False when the accept failed or the client is outside AllowedClients (client
  // socket stays kInvalidSocket).
  bool AcceptClient();
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
  uintptr_t idle_timer_id_ = 0;  // 0: not armed
  bool registered_ = false;
  int registered_code_ = 0;
  std::string registered_name_;
};

}  // namespace engine
