// Test helper: a loopback TCP server that echoes every connection until the client closes,
// and a check that a connected socket echoes. Owned by one test; joins its threads on
// destruction.
#pragma once

#include <cstdint>
#include <thread>
#include <vector>

#include "platform/socket.h"

namespace platform::testing {

class EchoServer {
 public:
  EchoServer();
  ~EchoServer();
  EchoServer(const EchoServer&) = delete;
  EchoServer& operator=(const EchoServer&) = delete;

  // The listening port; 0 when the server could not be set up.
  [[nodiscard]] uint16_t port() const { return port_; }

 private:
  Socket listener_;
  uint16_t port_ = 0;
  std::thread thread_;
  std::vector<std::thread> workers_;  // touched only by thread_ until the join
};

// Sends "hello" on c and reads it back within 5 s.
[[nodiscard]] bool Echoes(Socket c);

}  // namespace platform::testing
