// The echo server's accept loop and its per-connection echo threads.
#include "platform/testing/echo_server.h"

#include <sys/socket.h>

#include <string>

namespace platform::testing {

EchoServer::EchoServer() : listener_(CreateSocket(SOCK_STREAM)) {
  if (BindLoopback(listener_, 0) != 0 || Listen(listener_, 16) != 0) return;
  port_ = LocalPort(listener_);
  thread_ = std::thread([this] {
    for (;;) {
      Socket c = Accept(listener_);
      if (c < 0) return;
      workers_.emplace_back([c] {
        char buf[4096];
        int n;
        while ((n = Recv(c, buf, sizeof buf)) > 0) {
          if (SendAll(c, buf, static_cast<size_t>(n)) != 0) break;
        }
        CloseSocket(c);
      });
    }
  });
}

EchoServer::~EchoServer() {
  shutdown(listener_, SHUT_RDWR);  // ends the accept loop
  if (thread_.joinable()) thread_.join();
  for (auto& w : workers_) w.join();
  CloseSocket(listener_);
}

bool Echoes(Socket c) {
  char buf[5] = {};
  return SendAll(c, "hello", 5) == 0 && WaitReadable(c, 5000) == 1 && Recv(c, buf, 5) == 5 &&
         std::string(buf, 5) == "hello";
}

}  // namespace platform::testing
