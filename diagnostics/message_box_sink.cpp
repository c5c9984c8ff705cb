// Maps the administrator message's icon and buttons onto a modal QMessageBox.
#include "diagnostics/message_box_sink.h"

#include <QApplication>
#include <QMessageBox>

namespace diagnostics {
namespace {

QMessageBox::Icon BoxIcon(platform::MessageIcon icon) {
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

QMessageBox::StandardButtons BoxButtons(platform::MessageButtons buttons) {
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

int Answer(int button) {
  switch (button) {
    case QMessageBox::Cancel:
      return platform::kIdCancel;
    case QMessageBox::Yes:
      return platform::kIdYes;
    case QMessageBox::No:
      return platform::kIdNo;
    default:
      return platform::kIdOk;
  }
}

}  // namespace

int MessageBoxSink::Show(const std::string& caption, const std::string& text,
                         platform::MessageIcon icon, platform::MessageButtons buttons) {
  QMessageBox box(BoxIcon(icon), QString::fromStdString(caption), QString::fromStdString(text),
                  BoxButtons(buttons), QApplication::activeWindow());
  return Answer(box.exec());
}

}  // namespace diagnostics
