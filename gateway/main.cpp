// Wayfarer's entry point and its three modes: tray (a display with a system tray: the console
// opens from the tray icon), dialog (a display without a tray: the console is the main window)
// and headless (no display: the engine alone, no Qt object at all). In every mode SIGTERM and
// SIGINT run the shut-down sequence without the question.
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>

#include <QApplication>
#include <QSystemTrayIcon>
#include <cstdio>
#include <string>

#include "gateway/console/cache_dial_pages.h"
#include "gateway/console/console_app.h"
#include "gateway/console/display_probe.h"
#include "gateway/engine/gateway_app.h"
#include "gateway/gateway_wiring.h"
#include "platform/registry.h"

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

int RunHeadless(const sigset_t& stop_signals, const std::string& why) {
  engine::GatewayApp app(gateway::WireSubsystems());
  if (int code = Start(app); code >= 0) return code;
  std::fprintf(stderr, "Wayfarer: running headless (%s), settings in %s\n", why.c_str(),
               platform::StorePath().c_str());
  int signal_number = 0;
  sigwait(&stop_signals, &signal_number);
  app.Shutdown(false);
  return 0;
}

int RunWithDisplay(int argc, char** argv, const sigset_t& stop_signals, const std::string& why) {
  QApplication qt(argc, argv);
  const console::Mode mode =
      QSystemTrayIcon::isSystemTrayAvailable() ? console::Mode::kTray : console::Mode::kDialog;
  console::ConsoleApp console(mode);
  console::RegisterCacheAndDialPages();
  engine::StartupHooks hooks = gateway::WireSubsystems();
  hooks.show_console = console.ShowConsoleHook();
  engine::GatewayApp app(std::move(hooks));
  if (int code = Start(app); code >= 0) return code;
  std::fprintf(stderr, "Wayfarer: running with %s on %s, settings in %s\n",
               mode == console::Mode::kTray ? "a tray icon" : "the console as main window",
               why.c_str(), platform::StorePath().c_str());
  return console.Run(app, stop_signals);
}

}  // namespace

int main(int argc, char** argv) {
  // Blocked before any thread starts, so every thread inherits the mask and only the waits
  // on them receive them.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGTERM);
  sigaddset(&stop_signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  signal(SIGPIPE, SIG_IGN);
  // Every session holds two sockets and its queue's event descriptor: lift the soft limit on
  // open files to the hard one so thousands of sessions fit.
  rlimit files{};
  if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
    files.rlim_cur = files.rlim_max;
    setrlimit(RLIMIT_NOFILE, &files);
  }

  std::string why;
  if (!console::DisplayReachable(&why)) return RunHeadless(stop_signals, why);
  return RunWithDisplay(argc, argv, stop_signals, why);
}
