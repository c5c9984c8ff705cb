// Maps the message sink's icons, buttons and answers onto QMessageBox.
#include "clientsetup/message_box_sink.h"

#include <QApplication>
#include <QMessageBox>

namespace clientsetup {
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

}  // namespace

int MessageBoxSink::Show(const std::string& caption, const std::string& text,
                         platform::MessageIcon icon, platform::MessageButtons buttons) {
  QMessageBox box(ToQt(icon), QString::fromStdString(caption), QString::fromStdString(text),
                  ToQt(buttons), QApplication::activeWindow());
  switch (box.exec()) {
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

}  // namespace clientsetup
