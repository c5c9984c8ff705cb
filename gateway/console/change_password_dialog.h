// The "Change Password" dialog reached from the Security page: old password, new password and
// the new one again, each at most 31 characters. OK runs the engine's ChangeMasterPassword; a
// mismatch keeps the dialog open. Qt thread only.
#pragma once

#include <QDialog>

class QLineEdit;

namespace console {

class ChangePasswordDialog : public QDialog {
 public:
  explicit ChangePasswordDialog(QWidget* parent = nullptr);
  [[nodiscard]] QLineEdit* old_edit() const { return old_; }
  [[nodiscard]] QLineEdit* new_edit() const { return new_; }
  [[nodiscard]] QLineEdit* again_edit() const { return again_; }
  void accept() override;

 private:
  QLineEdit* old_;
  QLineEdit* new_;
  QLineEdit* again_;
};

}  // namespace console
