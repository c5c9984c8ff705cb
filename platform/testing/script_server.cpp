// ScriptServer and the bounded reads of script_server.h.
#include "platform/testing/script_server.h"

#include <sys/socket.h>

namespace platform::testing {

ScriptServer::ScriptServer(std::function<void(Socket)> script, uint16_t port)
    : listener_(ListenLoopback(8, port)) {
  if (listener_ == kInvalidSocket) return;
  port_ = LocalPort(listener_);
  thread_ = std::thread([this, script = std::move(script)] {
    while (!stop_.load()) {
      // Wakes every 50 ms to see whether the test is over.
      if (WaitReadable(listener_, 50) != 1) continue;
      Socket s = Accept(listener_);
      if (s == kInvalidSocket) continue;
      connections_.fetch_add(1);
      script(s);
      CloseSocket(s);
    }
  });
}

ScriptServer::~ScriptServer() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (listener_ != kInvalidSocket) CloseSocket(listener_);
}

Socket ListenLoopback(int backlog, uint16_t port) {
  Socket s = CreateSocket(SOCK_STREAM);
  if (s == kInvalidSocket) return s;
  int one = 1;
  setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (BindLoopback(s, port) == 0 && Listen(s, backlog) == 0) return s;
  CloseSocket(s);
  return kInvalidSocket;
}

Socket DialLoopback(uint16_t port) {
  Socket s = CreateSocket(SOCK_STREAM);
  if (s != kInvalidSocket && Connect(s, "127.0.0.1", port) == 0) return s;
  CloseSocket(s);
  return kInvalidSocket;
}

bool SendText(Socket s, const std::string& text) {
  return SendAll(s, text.data(), text.size()) == 0;
}

std::string ReadUntil(Socket s, const std::string& want) {
  std::string got;
  char c;
  while (!got.ends_with(want) && WaitReadable(s, kSilenceMs) == 1 && Recv(s, &c, 1) == 1) {
    got += c;
  }
  return got;
}

std::string ReadToClose(Socket s) {
  std::string got;
  char buffer[4096];
  while (true) {
    if (WaitReadable(s, kSilenceMs) != 1) return got + "<no close>";
    int n = Recv(s, buffer, sizeof buffer);
    if (n <= 0) return got;  // an orderly close, or a reset after the last byte
    got.append(buffer, static_cast<size_t>(n));
  }
}

}  // namespace platform::testing
