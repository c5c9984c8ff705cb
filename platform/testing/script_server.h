// Test helper: a loopback TCP server that runs a script on each connection it accepts (one
// connection at a time, on the server's own thread), and bounded reads for a test's client end.
// Owned by one test; the destructor stops accepting and joins the thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "platform/socket.h"

namespace platform::testing {

// Every read of these helpers gives up after this much silence, so a broken peer fails a test
// instead of hanging it.
inline constexpr int kSilenceMs = 10000;

class ScriptServer {
 public:
  // script gets the accepted socket; the server closes it when the script returns. port 0
  // takes a free one; a fixed port is for tests inside their private network namespace.
  explicit ScriptServer(std::function<void(Socket)> script, uint16_t port = 0);
  ~ScriptServer();
  ScriptServer(const ScriptServer&) = delete;
  ScriptServer& operator=(const ScriptServer&) = delete;

  // The listening port; 0 when the server could not be set up.
  [[nodiscard]] uint16_t port() const { return port_; }
  // Connections accepted so far (a script has begun on each).
  [[nodiscard]] int connections() const { return connections_.load(); }

 private:
  Socket listener_;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  std::thread thread_;
};

// A socket listening on 127.0.0.1:port (0: a free port) with the given backlog, or
// kInvalidSocket. The caller closes it.
[[nodiscard]] Socket ListenLoopback(int backlog = 8, uint16_t port = 0);
// A connection to 127.0.0.1:port, or kInvalidSocket.
[[nodiscard]] Socket DialLoopback(uint16_t port);
// Sends all of text; false when the peer would not take it.
[[nodiscard]] bool SendText(Socket s, const std::string& text);
// Reads until what was read ends with want, the peer closes or falls silent. (A test may
// read and drop a line it does not look at.)
std::string ReadUntil(Socket s, const std::string& want);
// Reads until the peer closes; "<no close>" is appended when it fell silent instead.
std::string ReadToClose(Socket s);

}  // namespace platform::testing
