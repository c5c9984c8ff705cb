// Wayfarer's entry point. With no display the engine runs alone (headless) until SIGTERM or
// SIGINT, which run the shut-down sequence. The main thread only waits for those signals.
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>

#include <cstdio>

#include "gateway/engine/gateway_app.h"
#include "gateway/gateway_wiring.h"
#include "platform/registry.h"

int main() {
  // Blocked before any thread starts, so every thread inherits the mask and only sigwait below
  // receives them.
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

  engine::GatewayApp app(gateway::WireSubsystems());
  switch (app.InitInstance()) {
    case engine::GatewayApp::Start::kAlreadyRunning:
      std::fprintf(stderr, "Wayfarer: already running on this settings store\n");
      return 0;
    case engine::GatewayApp::Start::kFailed:
      return 1;
    case engine::GatewayApp::Start::kRunning:
      break;
  }
  std::fprintf(stderr, "Wayfarer: running headless, settings in %s\n",
               platform::StorePath().c_str());
  int signal_number = 0;
  sigwait(&stop_signals, &signal_number);
  app.Shutdown(false);
  return 0;
}
