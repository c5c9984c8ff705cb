// Opening, raising and exiting; the signal watcher that stops the program in display modes.
#include "gateway/console/console_app.h"

#include <pthread.h>

#include <QApplication>
#include <QStyle>
#include <atomic>
#include <thread>

#include "gateway/console/password_prompt.h"
#include "gateway/engine/session_registry.h"

namespace console {
namespace {

// Waits on the blocked stop signals on a thread of its own and hands a stop to the Qt thread.
class SignalWatcher {
 public:
  SignalWatcher(const sigset_t& stop_set, std::function<void()> on_signal)
      : signals_(stop_set), thread_([this, on_signal] {
          int number = 0;
          sigwait(&signals_, &number);
          if (!ending_) on_signal();
        }) {}
  ~SignalWatcher() {
    ending_ = true;
    // Wakes the sigwait when no signal came; one that came already ended the thread.
    pthread_kill(thread_.native_handle(), SIGTERM);
    thread_.join();
  }

 private:
  sigset_t signals_;
  std::atomic<bool> ending_{false};
  std::thread thread_;
};

}  // namespace

ConsoleApp::ConsoleApp(Mode mode)
    : mode_(mode),
      previous_sink_(platform::SetMessageSink(&sink_)),
      icons_(IconList::LoadBesideProgram()),
      bridge_(std::make_unique<ConsoleBridge>(
          [this](const platform::Message& msg) { OnEngineMessage(msg); })) {
  if (icons_.empty()) {
    std::fprintf(stderr, "Wayfarer: %s not found beside the program; no icons\n", kIconFileName);
  } else {
    QApplication::setWindowIcon(icons_.At(kProgramIcon));
  }
}

ConsoleApp::~ConsoleApp() {
  engine::SetConsoleTarget(0);
  if (!console_.isNull()) delete console_.data();
  tray_.reset();
  bridge_.reset();
  sink_.Close();
  platform::SetMessageSink(previous_sink_);
}

std::function<void()> ConsoleApp::ShowConsoleHook() const {
  const platform::TargetId target = bridge_->target();
  return [target] { platform::PostMessage(target, kMsgShowConsole, 0, 0); };
}

void ConsoleApp::OnEngineMessage(const platform::Message& msg) {
  if (msg.message == kMsgShowConsole) {
    OpenConsole(mode_ == Mode::kTray);
    return;
  }
  if (console_.isNull()) {
    FreeNoticeOf(msg);
    return;
  }
  console_->OnEngineMessage(msg);
}

void ConsoleApp::Attach(engine::GatewayApp& app) {
  app_ = &app;
  if (mode_ == Mode::kDialog) {
    OpenConsole(false);  // the main window opens at start-up without the password prompt
    return;
  }
  QIcon icon = icons_.At(kProgramIcon);
  if (icon.isNull()) icon = QApplication::style()->standardIcon(QStyle::SP_ComputerIcon);
  tray_ = std::make_unique<TrayWindow>(
      icon, TrayWindow::Commands{[this] { OpenConsole(true); }, [this] { (void)ExitProgram(); },
                                 [this] { return !console_.isNull(); }});
}

void ConsoleApp::OpenConsole(bool gate) {
  if (exited_) return;
  if (!console_.isNull()) {
    if (console_->isMinimized()) console_->showNormal();
    console_->raise();
    console_->activateWindow();
    return;
  }
  if (prompting_) return;  // a request while the prompt is up leaves that prompt to answer
  if (gate) {
    prompting_ = true;
    const bool opens = PasswordGateOpens();
    prompting_ = false;
    if (!opens || exited_) return;
  }
  ConsoleOptions options;
  options.main_window = mode_ == Mode::kDialog;
  options.dial_bound = app_ != nullptr && app_->dialup() != platform::DialupProvider::kNone;
  options.notice_target = bridge_->target();
  options.exit_program = [this] { return ExitProgram(); };
  options.icons = icons_;
  console_ = new ConsoleWindow(std::move(options));
  console_->show();
  console_->raise();
  console_->activateWindow();
}

bool ConsoleApp::ExitProgram() {
  if (exited_) return true;
  if (app_ != nullptr && !app_->Shutdown(true)) return false;
  exited_ = true;
  engine::SetConsoleTarget(0);
  if (tray_) tray_->Remove();
  if (!console_.isNull()) console_->CloseForExit();
  QCoreApplication::quit();
  return true;
}

void ConsoleApp::StopBySignal() {
  if (exited_) return;
  if (app_ != nullptr) app_->Shutdown(false);
  exited_ = true;
  engine::SetConsoleTarget(0);
  if (tray_) tray_->Remove();
  if (!console_.isNull()) console_->CloseForExit();
  QCoreApplication::quit();
}

int ConsoleApp::Run(engine::GatewayApp& app, const sigset_t& stop_signals) {
  QApplication::setQuitOnLastWindowClosed(false);
  Attach(app);
  SignalWatcher watcher(stop_signals, [this] {
    QMetaObject::invokeMethod(QCoreApplication::instance(), [this] { StopBySignal(); },
                              Qt::QueuedConnection);
  });
  return QApplication::exec();
}

}  // namespace console
