// SIGHUP and `wayfarer-reg --reload`: the gateway re-reads its settings store. The reload runs
// on the thread that applies the console's changes: the main thread when headless, the Qt
// thread with a console (a watcher thread waits for the signal and hands it over).
#pragma once

#include <signal.h>

#include <atomic>
#include <functional>
#include <thread>

#include "gateway/engine/gateway_app.h"

namespace gateway {

// The reload of engine settings and cache settings, with its log line. Call it on the thread
// that applies the console's changes.
[[nodiscard]] std::function<void()> ReloadAction(const engine::StartupHooks& hooks);

// Waits for SIGHUP and SIGUSR1 (blocked in every thread) on a thread of its own: posts reload
// to the Qt thread, and has the access log reopened. Lives while the Qt loop runs.
class ReloadWatcher {
 public:
  explicit ReloadWatcher(std::function<void()> reload);
  ~ReloadWatcher();
  ReloadWatcher(const ReloadWatcher&) = delete;
  ReloadWatcher& operator=(const ReloadWatcher&) = delete;

 private:
  std::function<void()> reload_;
  std::atomic<bool> ending_{false};
  std::thread thread_;
};

}  // namespace gateway
