// Wayfarer's entry point and its three modes: tray (a display with a system tray: the console
// opens from the tray icon), dialog (a display without a tray: the console is the main window)
// and headless (no display: the engine alone, no Qt object at all). In every mode SIGTERM and
// SIGINT run the shut-down sequence without the question.
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QSystemTrayIcon>
#include <cstdio>
#include <string>

#include "gateway/console/cache_dial_pages.h"
#include "gateway/console/console_app.h"
#include "gateway/console/display_probe.h"
#include "gateway/engine/access_log.h"
#include "gateway/engine/gateway_app.h"
#include "gateway/gateway_wiring.h"
#include "gateway/program_options.h"
#include "gateway/reload_signal.h"
#include "gateway/service_directories.h"
#include "platform/registry.h"
#include "platform/service_notify.h"

namespace {

// 0 to go on, or the exit code when this start ends here.
int Start(engine::GatewayApp& app) {
  switch (app.InitInstance()) {
    case engine::GatewayApp::Start::kAlreadyRunning:
      std::fprintf(stderr, "Wayfarer: already running on this settings store\n");
      return 0;
    case engine::GatewayApp::Start::kFailed:
      return 1;
    case engine::GatewayApp::Start::kRunning:
      break;
  }
  return -1;
}

// After the shut-down, session threads still in a name lookup may run: nothing is destroyed
// under them. Every settings write is already durable (one transaction each); the access log's
// queued lines are written before the exit, which skips the handlers registered with atexit.
[[noreturn]] void Leave(int code) {
  engine::TheAccessLog().Stop();
  std::fflush(nullptr);
  _exit(code);
}

int RunHeadless(const sigset_t& stop_signals, const std::string& why) {
  engine::StartupHooks hooks = gateway::WireSubsystems();
  const std::function<void()> reload = gateway::ReloadAction(hooks);
  engine::GatewayApp app(std::move(hooks));
  if (int code = Start(app); code >= 0) return code;
  std::fprintf(stderr, "Wayfarer: running headless (%s), settings in %s\n", why.c_str(),
               platform::StorePath().c_str());
  platform::NotifyServiceManager("READY=1\nSTATUS=running headless");
  sigset_t waited = stop_signals;
  sigaddset(&waited, SIGHUP);
  sigaddset(&waited, SIGUSR1);
  int signal_number = 0;
  while (sigwait(&waited, &signal_number) == 0 &&
         (signal_number == SIGHUP || signal_number == SIGUSR1)) {
    if (signal_number == SIGHUP) reload();
    if (signal_number == SIGUSR1) engine::TheAccessLog().Reopen();
  }
  app.Shutdown(false);
  Leave(0);
}

int RunWithDisplay(int argc, char** argv, const sigset_t& stop_signals, const std::string& why,
                   gateway::ModeChoice choice) {
  QApplication qt(argc, argv);
  console::Mode mode =
      QSystemTrayIcon::isSystemTrayAvailable() ? console::Mode::kTray : console::Mode::kDialog;
  if (choice == gateway::ModeChoice::kTray) mode = console::Mode::kTray;
  if (choice == gateway::ModeChoice::kDialog) mode = console::Mode::kDialog;
  console::ConsoleApp console(mode);
  console::RegisterCacheAndDialPages();
  engine::StartupHooks hooks = gateway::WireSubsystems();
  hooks.show_console = console.ShowConsoleHook();
  gateway::ReloadWatcher reload_watcher(gateway::ReloadAction(hooks));
  engine::GatewayApp app(std::move(hooks));
  if (int code = Start(app); code >= 0) return code;
  std::fprintf(stderr, "Wayfarer: running with %s on %s, settings in %s\n",
               mode == console::Mode::kTray ? "a tray icon" : "the console as main window",
               why.c_str(), platform::StorePath().c_str());
  platform::NotifyServiceManager("READY=1\nSTATUS=running with a console");
  Leave(console.Run(app, stop_signals));
}

}  // namespace

int main(int argc, char** argv) {
  gateway::ProgramOptions options;
  if (int code = gateway::ParseProgramOptions(argc, argv, &options); code >= 0) return code;
  // Blocked before any thread starts, so every thread inherits the mask and only the waits
  // on them receive them.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGTERM);
  sigaddset(&stop_signals, SIGINT);
  sigset_t blocked = stop_signals;
  sigaddset(&blocked, SIGHUP);   // reload, waited for like the stop signals
  sigaddset(&blocked, SIGUSR1);  // reopen the access log
  pthread_sigmask(SIG_BLOCK, &blocked, nullptr);
  signal(SIGPIPE, SIG_IGN);
  // Every session holds two sockets and its queue's event descriptor: lift the soft limit on
  // open files to the hard one so thousands of sessions fit.
  rlimit files{};
  if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
  }

  if (std::string log = engine::StartProcessAccessLog(); !log.empty()) {
    std::fprintf(stderr, "Wayfarer: access log %s\n", log.c_str());
  }
  if (std::string cache = gateway::AdoptCacheDirectory(); !cache.empty()) {
    std::fprintf(stderr, "Wayfarer: cache location set to %s\n", cache.c_str());
  }
  const gateway::ModeChoice choice = options.mode;
  if (choice == gateway::ModeChoice::kHeadless) return RunHeadless(stop_signals, "--headless");
  std::string why;
  const bool display = console::DisplayReachable(&why);
  if (!display && choice != gateway::ModeChoice::kAutomatic) {
    std::fprintf(stderr, "Wayfarer: the console needs a display: %s\n", why.c_str());
    return 1;
  }
  if (!display) return RunHeadless(stop_signals, why);
  return RunWithDisplay(argc, argv, stop_signals, why, choice);
}
