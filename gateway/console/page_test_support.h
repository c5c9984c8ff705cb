// Test support for the Cache and Dial page tests: a loopback origin that counts the requests
// it answers, a raw HTTP/1.0 proxy client, and a running engine (web proxy, web cache and
// dialler wired as the program wires them) with the console attached. Owned by one test on
// the Qt thread; the origin joins its thread on destruction.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "gateway/console/console_app.h"
#include "gateway/engine/gateway_app.h"
#include "platform/socket.h"

namespace console::testing {

class CountingOrigin {
 public:
  CountingOrigin();
  ~CountingOrigin();
  [[nodiscard]] uint16_t port() const { return port_; }
  [[nodiscard]] int requests() const { return requests_.load(); }

 private:
  void Serve(platform::Socket c);
  platform::Socket listener_ = platform::kInvalidSocket;
  uint16_t port_ = 0;
  std::atomic<int> requests_{0};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// GET url through the proxy on port; the whole answer ("" when none came within 10 s).
[[nodiscard]] std::string Fetch(uint16_t proxy_port, const std::string& url);
// A free loopback TCP port.
[[nodiscard]] uint16_t FreePort();

// The default configuration with every service off but WWW on www_port.
void ConfigureWebOnly(uint16_t www_port);

// The engine with the web proxy, the cache and the dialler (of make_dialer, or the one the
// store's remote-access key names) and the console in tray mode with its window open.
class RunningGateway {
 public:
  using DialerMaker = std::function<void(engine::ControlThread&)>;
  explicit RunningGateway(DialerMaker make_dialer = {});
  ~RunningGateway();
  [[nodiscard]] bool started() const { return started_; }
  [[nodiscard]] ConsoleWindow* window() const { return console_->console(); }
  // Selects the page of kind; nullptr when this run has none.
  ConsolePage* Show(PageKind kind);

 private:
  std::unique_ptr<ConsoleApp> console_;
  std::unique_ptr<engine::GatewayApp> app_;
  bool started_ = false;
};

}  // namespace console::testing
