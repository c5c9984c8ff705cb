// Start-up and shut-down in their fixed order.
#include "gateway/engine/gateway_app.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>

#include "gateway/engine/client_filter.h"
#include "gateway/engine/config_store.h"
#include "gateway/engine/dns_cache.h"
#include "gateway/engine/listeners.h"
#include "gateway/engine/net_dispatcher.h"
#include "gateway/engine/service_list.h"
#include "gateway/engine/session_registry.h"
#include "gateway/engine/session_thread.h"
#include "platform/admin_message.h"
#include "platform/message_queue.h"
#include "platform/registry.h"

namespace engine {
namespace {

constexpr unsigned kMsgInstanceRequest = platform::kWmUser + 202;

void Run(const std::function<void()>& step) {
  if (step) step();
}

}  // namespace

GatewayApp::GatewayApp(StartupHooks hooks) : hooks_(std::move(hooks)) {
  Run(hooks_.load_cache_settings);
}

GatewayApp::~GatewayApp() {
  Shutdown(false);
  Run(hooks_.teardown);
  DnsCacheClear();
}

GatewayApp::Start GatewayApp::InitInstance() {
  std::string store = platform::StorePath();
  // A gateway without its settings would listen on nothing yet look healthy to whoever
  // started it: it ends here, and the file stays as it is for the administrator to inspect.
  if (!platform::StoreAvailable()) {
    platform::ShowAdminMessage(kAppCaption,
                               "The settings store " + store +
                                   " cannot be opened or read. Wayfarer ends; the file is left "
                                   "as it is.",
                               platform::MessageIcon::kError);
    return Start::kFailed;
  }
  if (!instance_.Acquire(store)) {
    platform::SingleInstance::SignalRunning(store, platform::kShowConsoleRequest);
    return Start::kAlreadyRunning;
  }
  SessionThread::AllowSessions();
  if (WriteDefaultConfiguration() != 0) {
    std::fprintf(stderr, "Wayfarer: cannot write the settings store %s\n", store.c_str());
  }
  LoadAllowedClients();
  if (Services().Load() != 0) {
    platform::ShowAdminMessage(kAppCaption, kE10001, platform::MessageIcon::kExclamation);
    return Start::kFailed;
  }
  dialup_ = platform::DetectDialupProvider();
  if (!control_.Start()) {
    platform::ShowAdminMessage(kAppCaption, kE10001, platform::MessageIcon::kExclamation);
    return Start::kFailed;
  }
  control_started_ = true;
  control_.RunAndWait([this] { ServeInstanceChannel(); });
  StartListeners();
  Run(hooks_.start_purge_thread);
  if (hooks_.create_dialer) hooks_.create_dialer(control_);
  return Start::kRunning;
}

// Requests of later starts arrive on the instance channel; the control thread answers them.
void GatewayApp::ServeInstanceChannel() {
  if (instance_.channel() < 0) return;
  platform::TargetId target = platform::CreateTarget([this](const platform::Message&) {
    std::string request;
    while (instance_.ReadRequest(&request)) {
      // A reload takes the same way as SIGHUP, to the thread that applies console changes.
      if (request == platform::kReloadRequest) kill(getpid(), SIGHUP);
      if (request != platform::kShowConsoleRequest) continue;
      if (hooks_.show_console) {
        hooks_.show_console();
      } else {
        std::fprintf(stderr, "Wayfarer: a second start asked for the console; none runs here\n");
      }
    }
  });
  platform::AsyncSelect(instance_.channel(), target, kMsgInstanceRequest, platform::kFdRead);
}

bool GatewayApp::Shutdown(bool ask) {
  if (shut_down_) return true;
  int sessions = CountSessions();
  if (ask && sessions > 0) {
    std::string question = std::to_string(sessions) + " " + kCloseAnywayQuestion;
    if (platform::ShowAdminMessage(kAppCaption, question, platform::MessageIcon::kQuestion,
                                   platform::MessageButtons::kYesNo) == platform::kIdNo) {
      return false;
    }
  }
  shut_down_ = true;
  Run(hooks_.hang_up);
  Services().CloseAllListeners();
  CloseDnsSocket();
  StopNetMessageQueue();
  // Sessions still ending may look entries up: they are stopped before the list is freed.
  KillAllSessions();
  SessionThread::KillAll();
  // Every wait of a session takes the kill at once; only a name lookup cannot be cut short.
  // Threads still in one keep the list: the program then leaves with _exit.
  if (SessionThread::WaitForSessions(kSessionEndWaitMs)) Services().Clear();
  if (control_started_) control_.Stop();
  return true;
}

}  // namespace engine
