// The gateway's application object: the start-up sequence, the single-instance rule and the
// shut-down sequence. Later subsystems join the sequence through StartupHooks, wired in one
// place by the program's main. Used only by the program's main thread.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "gateway/engine/control_thread.h"
#include "platform/dialup_provider.h"
#include "platform/single_instance.h"

namespace engine {

inline constexpr char kAppCaption[] = "Wayfarer";
inline constexpr char kE10001[] =
    "E-10001: Unable to Allocate memory. Try quitting \nsome applications and try again.";
inline constexpr char kCloseAnywayQuestion[] = "active client session(s). Close anyway?";
// How long the shut-down waits for the sessions it ended.
inline constexpr int kSessionEndWaitMs = 2000;

// Steps of the subsystems above the engine; any may be left empty.
struct StartupHooks {
  std::function<void()> load_cache_settings;  // before the instance start-up
  std::function<void()> start_purge_thread;
  std::function<void(ControlThread&)> create_dialer;  // the dialler's window, on the control thread
  std::function<void()> hang_up;                      // hang up the dial-up link
  std::function<void()> teardown;                     // empty caches, free subsystem objects
  std::function<void()> show_console;                 // a second start asked for the console
};

class GatewayApp {
 public:
  enum class Start { kRunning, kAlreadyRunning, kFailed };

  explicit GatewayApp(StartupHooks hooks);
  ~GatewayApp();

  // The start-up sequence. kAlreadyRunning: another instance on this store was asked to show
  // its console and nothing was touched; kFailed: a message was shown.
  [[nodiscard]] Start InitInstance();
  // The shut-down sequence. With ask set and sessions live, asks the administrator first;
  // returns false when the answer was No (nothing was stopped). Session threads still in a
  // name lookup may outlive it: the program must then leave with _exit, never through main's
  // return and the destructors.
  bool Shutdown(bool ask);

  [[nodiscard]] platform::DialupProvider dialup() const { return dialup_; }
  [[nodiscard]] ControlThread& control() { return control_; }

 private:
  void ServeInstanceChannel();

  StartupHooks hooks_;
  platform::SingleInstance instance_;
  platform::DialupProvider dialup_ = platform::DialupProvider::kNone;
  ControlThread control_;
  bool control_started_ = false;
  bool shut_down_ = false;
};

}  // namespace engine
