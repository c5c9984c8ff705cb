// The change dialog's controls; the comparisons, messages and the store are the engine's.
#include "gateway/console/change_password_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QVBoxLayout>

#include "gateway/engine/master_password.h"

namespace console {
namespace {

QLineEdit* PasswordEdit(QWidget* parent, const char* name) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(name);
  edit->setEchoMode(QLineEdit::Password);
  edit->setMaxLength(static_cast<int>(engine::kMasterPasswordInput));
  return edit;
}

}  // namespace

ChangePasswordDialog::ChangePasswordDialog(QWidget* parent) : QDialog(parent) {
  setObjectName("ChangePassword");
  setWindowTitle(engine::kChangePasswordCaption);
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout();
  old_ = PasswordEdit(this, "oldPassword");
  new_ = PasswordEdit(this, "newPassword");
  again_ = PasswordEdit(this, "newAgain");
  form->addRow("Enter Old Password", old_);
  form->addRow("Enter New Password", new_);
  form->addRow("Re-Enter New Password", again_);
  layout->addLayout(form);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &ChangePasswordDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &ChangePasswordDialog::reject);
  layout->addWidget(buttons);
  // Wide enough that the title bar shows the whole caption.
  setMinimumWidth(fontMetrics().horizontalAdvance(windowTitle()) + 140);
}

void ChangePasswordDialog::accept() {
  const std::string typed_new = new_->text().toStdString();
  const std::string typed_again = again_->text().toStdString();
  if (engine::ChangeMasterPassword(old_->text().toStdString(), typed_new, typed_again) != 0) {
    // The old password is asked first, so a matching pair means the old one was wrong.
    QLineEdit* wrong = typed_new == typed_again ? old_ : new_;
    wrong->selectAll();
    wrong->setFocus();
    return;
  }
  QDialog::accept();
}

}  // namespace console
