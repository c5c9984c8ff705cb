// The master password prompt run before the console opens from the tray: one edit of at most
// 31 characters, OK and Cancel. OK accepts only the right password; a wrong one shows E-10032
// and the prompt stays open. Qt thread only.
#pragma once

#include <QDialog>

class QLineEdit;

namespace console {

class PasswordPrompt : public QDialog {
 public:
  explicit PasswordPrompt(QWidget* parent = nullptr);
  [[nodiscard]] QLineEdit* edit() const { return edit_; }
  void accept() override;

 private:
  QLineEdit* edit_;
};

// True when the console may open: no password is set, or the prompt was answered rightly.
[[nodiscard]] bool PasswordGateOpens();

}  // namespace console
