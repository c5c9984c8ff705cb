// The origin, the proxy client and the running gateway of the page tests.
#include "gateway/console/page_test_support.h"

#include <poll.h>
#include <sys/socket.h>

#include <QTabBar>

#include "gateway/console/cache_dial_pages.h"
#include "gateway/dialer/dialer_link.h"
#include "gateway/engine/config_store.h"
#include "gateway/engine/store_access.h"
#include "gateway/web/web_cache.h"
#include "gateway/web/web_proxy.h"
#include "platform/dialup_provider.h"

namespace console::testing {
namespace {

constexpr int kWaitMs = 10000;
constexpr size_t kAnswerLimit = 1 << 20;

// Reads until the peer closes or limit bytes, each read within kWaitMs.
std::string ReadAll(platform::Socket c, const std::string& until = {}) {
  std::string got;
  char buf[4096];
  while (got.size() < kAnswerLimit && platform::WaitReadable(c, kWaitMs) == 1) {
    int n = platform::Recv(c, buf, sizeof buf);
    if (n <= 0) break;
    got.append(buf, static_cast<size_t>(n));
    if (!until.empty() && got.find(until) != std::string::npos) break;
  }
  return got;
}

}  // namespace

CountingOrigin::CountingOrigin() {
  listener_ = platform::CreateSocket(SOCK_STREAM);
  if (platform::BindLoopback(listener_, 0) != 0 || platform::Listen(listener_, 16) != 0) return;
  port_ = platform::LocalPort(listener_);
  thread_ = std::thread([this] {
    while (!stop_.load()) {
      pollfd p{listener_, POLLIN, 0};
      if (poll(&p, 1, 50) != 1) continue;
      platform::Socket c = platform::Accept(listener_);
      if (c == platform::kInvalidSocket) continue;
      Serve(c);
      platform::CloseSocket(c);
    }
  });
}

CountingOrigin::~CountingOrigin() {
  stop_.store(true);
  if (thread_.joinable()) thread_.join();
  platform::CloseSocket(listener_);
}

void CountingOrigin::Serve(platform::Socket c) {
  const std::string request = ReadAll(c, "\r\n\r\n");
  if (request.find("\r\n\r\n") == std::string::npos) return;
  ++requests_;
  const std::string path = request.substr(4, request.find(' ', 4) - 4);
  const std::string body = "object " + path + "\n";
  const std::string answer =
      "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n"
      "Last-Modified: Thu, 01 Dec 1994 16:00:00 GMT\r\n"
      "Content-Length: " +
      std::to_string(body.size()) + "\r\n\r\n" + body;
  (void)platform::SendAll(c, answer.data(), answer.size());
}

std::string Fetch(uint16_t proxy_port, const std::string& url) {
  platform::Socket c = platform::CreateSocket(SOCK_STREAM);
  std::string answer;
  if (platform::Connect(c, "127.0.0.1", proxy_port) == 0) {
    const std::string request = "GET " + url + " HTTP/1.0\r\nAccept: */*\r\n\r\n";
    if (platform::SendAll(c, request.data(), request.size()) == 0) answer = ReadAll(c);
  }
  platform::CloseSocket(c);
  return answer;
}

uint16_t FreePort() {
  platform::Socket probe = platform::CreateSocket(SOCK_STREAM);
  uint16_t port = platform::BindLoopback(probe, 0) == 0 ? platform::LocalPort(probe) : 0;
  platform::CloseSocket(probe);
  return port;
}

void ConfigureWebOnly(uint16_t www_port) {
  (void)engine::WriteDefaultConfiguration();
  for (int i = 0; i < 10; ++i) {
    platform::RegKey key;
    if (engine::OpenNumbered(engine::kKeyService, i, false, &key) != 0) continue;
    engine::SetDword(key, "IsActive", i == 0 ? 1 : 0);
    if (i == 0) engine::SetDword(key, "PortNum", www_port);
  }
}

RunningGateway::RunningGateway(DialerMaker make_dialer) {
  RegisterCacheAndDialPages();
  web::RegisterWebProxy();
  console_ = std::make_unique<ConsoleApp>(Mode::kTray);
  engine::StartupHooks hooks;
  hooks.create_dialer = make_dialer ? make_dialer : [](engine::ControlThread& control) {
    dialer::InstallDialer(control, platform::DetectDialupProvider());
  };
  hooks.hang_up = [] { dialer::HangUpDialer(); };
  hooks.teardown = [] { dialer::UninstallDialer(); };
  web::WireWebCache(&hooks);
  app_ = std::make_unique<engine::GatewayApp>(std::move(hooks));
  started_ = app_->InitInstance() == engine::GatewayApp::Start::kRunning;
  if (!started_) return;
  console_->Attach(*app_);
  console_->OpenConsole(false);
}

RunningGateway::~RunningGateway() {
  if (started_) app_->Shutdown(false);
  app_.reset();
  console_.reset();
  RegisterPage(PageKind::kCache, nullptr);
  RegisterPage(PageKind::kDial, nullptr);
  SetPurgeRunningProbe({});
}

ConsolePage* RunningGateway::Show(PageKind kind) {
  ConsoleWindow* w = window();
  if (w == nullptr || w->TabIndexOf(kind) < 0) return nullptr;
  w->tabs()->setCurrentIndex(w->TabIndexOf(kind));
  return w->current_kind() == kind ? w->page() : nullptr;
}

}  // namespace console::testing
