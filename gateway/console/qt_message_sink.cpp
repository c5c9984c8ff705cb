// Maps the sink's icons, buttons and answers onto QMessageBox, and hands boxes asked for by
// engine threads to the Qt thread.
#include "gateway/console/qt_message_sink.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "gateway/engine/gateway_app.h"

namespace console {
namespace {

QMessageBox::Icon ToQt(platform::MessageIcon icon) {
  switch (icon) {
    case platform::MessageIcon::kError:
      return QMessageBox::Critical;
    case platform::MessageIcon::kExclamation:
      return QMessageBox::Warning;
    case platform::MessageIcon::kQuestion:
      return QMessageBox::Question;
    case platform::MessageIcon::kInformation:
      return QMessageBox::Information;
    case platform::MessageIcon::kNone:
      break;
  }
  return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons ToQt(platform::MessageButtons buttons) {
  switch (buttons) {
    case platform::MessageButtons::kOkCancel:
      return QMessageBox::Ok | QMessageBox::Cancel;
    case platform::MessageButtons::kYesNo:
      return QMessageBox::Yes | QMessageBox::No;
    case platform::MessageButtons::kYesNoCancel:
      return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case platform::MessageButtons::kOk:
      break;
  }
  return QMessageBox::Ok;
}

int FromQt(int answer) {
  switch (answer) {
    case QMessageBox::Yes:
      return platform::kIdYes;
    case QMessageBox::No:
      return platform::kIdNo;
    case QMessageBox::Cancel:
      return platform::kIdCancel;
    default:
      return platform::kIdOk;
  }
}

struct PendingAnswer {
  bool done = false;
  int answer = 0;
};

}  // namespace

struct QtMessageSink::Waits {
  std::mutex mu;
  std::condition_variable answered;
  bool closed = false;  // guarded by mu
};

int ShowMessageBox(const std::string& caption, const std::string& text, platform::MessageIcon icon,
                   platform::MessageButtons buttons) {
  QMessageBox box(ToQt(icon),
                  QString::fromStdString(caption.empty() ? engine::kAppCaption : caption),
                  QString::fromStdString(text), ToQt(buttons), QApplication::activeWindow());
  box.setObjectName("wayfarerMessageBox");
  return FromQt(box.exec());
}

QtMessageSink::QtMessageSink() : waits_(std::make_shared<Waits>()) {}

QtMessageSink::~QtMessageSink() { Close(); }

void QtMessageSink::Close() {
  std::lock_guard lock(waits_->mu);
  waits_->closed = true;
  waits_->answered.notify_all();
}

int QtMessageSink::Show(const std::string& caption, const std::string& text,
                        platform::MessageIcon icon, platform::MessageButtons buttons) {
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr) return platform::DefaultAnswer(buttons);
  if (QThread::currentThread() == app->thread()) {
    return ShowMessageBox(caption, text, icon, buttons);
  }
  auto pending = std::make_shared<PendingAnswer>();
  std::shared_ptr<Waits> waits = waits_;
  {
    std::lock_guard lock(waits->mu);
    if (waits->closed) return platform::DefaultAnswer(buttons);
  }
  QMetaObject::invokeMethod(
      app,
      [waits, pending, caption, text, icon, buttons] {
        {
          std::lock_guard lock(waits->mu);
          if (waits->closed) return;  // the asker has had its default answer already
        }
        int answer = ShowMessageBox(caption, text, icon, buttons);
        std::lock_guard lock(waits->mu);
        pending->answer = answer;
        pending->done = true;
        waits->answered.notify_all();
      },
      Qt::QueuedConnection);
  // The administrator's answer has no time bound; Close() at shut-down ends the wait.
  std::unique_lock lock(waits->mu);
  waits->answered.wait(lock, [&] { return pending->done || waits->closed; });
  return pending->done ? pending->answer : platform::DefaultAnswer(buttons);
}

}  // namespace console
