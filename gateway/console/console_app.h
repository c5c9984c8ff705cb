// The console side of the gateway process in tray and dialog mode: the message sink, the
// bridge for engine posts, the tray icon or the console as main window, the single-instance
// request to show the console, the exit sequence and stopping on SIGTERM/SIGINT. One object,
// made by main on the Qt thread after the QApplication; every member runs on that thread
// except the hook ShowConsoleHook returns.
#pragma once

#include <signal.h>

#include <QPointer>
#include <functional>
#include <memory>

#include "gateway/console/console_bridge.h"
#include "gateway/console/console_window.h"
#include "gateway/console/icon_list.h"
#include "gateway/console/qt_message_sink.h"
#include "gateway/console/tray_window.h"
#include "gateway/engine/gateway_app.h"

namespace console {

enum class Mode { kTray, kDialog };

// Posted to the console target when a second start asks for the console.
inline constexpr unsigned kMsgShowConsole = platform::kWmUser + 210;

class ConsoleApp {
 public:
  explicit ConsoleApp(Mode mode);
  ~ConsoleApp();
  ConsoleApp(const ConsoleApp&) = delete;
  ConsoleApp& operator=(const ConsoleApp&) = delete;

  // For StartupHooks.show_console: callable from any thread, it asks the Qt thread to open
  // (tray mode) or raise (dialog mode) the console.
  [[nodiscard]] std::function<void()> ShowConsoleHook() const;
  // Binds the started engine and shows the tray icon or, in dialog mode, the console.
  void Attach(engine::GatewayApp& app);
  // Attach, then the Qt loop until exit; stop_signals (blocked in every thread) end it too.
  int Run(engine::GatewayApp& app, const sigset_t& stop_signals);

  // Command 865: raise the open console, or open it (through the password gate when gate).
  void OpenConsole(bool gate);
  // Command 866 and the main window's close: the exit sequence; false when answered No.
  bool ExitProgram();

  [[nodiscard]] ConsoleWindow* console() const { return console_.data(); }
  [[nodiscard]] TrayWindow* tray() const { return tray_.get(); }
  [[nodiscard]] platform::TargetId target() const { return bridge_->target(); }
  [[nodiscard]] Mode mode() const { return mode_; }

 private:
  void OnEngineMessage(const platform::Message& msg);
  void StopBySignal();

  Mode mode_;
  QtMessageSink sink_;
  platform::MessageSink* previous_sink_;
  IconList icons_;
  std::unique_ptr<ConsoleBridge> bridge_;
  std::unique_ptr<TrayWindow> tray_;
  QPointer<ConsoleWindow> console_;
  engine::GatewayApp* app_ = nullptr;
  bool exited_ = false;
  bool prompting_ = false;  // the password prompt is open
};

}  // namespace console
