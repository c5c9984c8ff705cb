// The engine's control thread: it owns the targets that a desktop program would keep on its
// main thread (the dialler's window, the single-instance channel), so the gateway behaves the
// same with or without a console. Started once by the application; ends at shut-down.
#pragma once

#include <functional>

#include "platform/worker_thread.h"

namespace engine {

class ControlThread : public platform::WorkerThread {
 public:
  // Starts the thread (not auto-deleting). False when it could not be started.
  [[nodiscard]] bool Start();
  // Runs fn on the control thread and waits until it has run (fn may create targets there).
  void RunAndWait(const std::function<void()>& fn);
  // Ends the loop and joins the thread.
  void Stop();

 protected:
  bool PreTranslateMessage(platform::Message& msg) override;
};

}  // namespace engine
