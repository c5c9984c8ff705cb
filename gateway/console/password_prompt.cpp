// The prompt dialog; the check itself and its message are the engine's.
#include "gateway/console/password_prompt.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "gateway/engine/master_password.h"

namespace console {

PasswordPrompt::PasswordPrompt(QWidget* parent) : QDialog(parent) {
  setObjectName("MasterPassword");
  setWindowTitle(engine::kMasterPromptCaption);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(engine::kMasterPromptLabel, this));
  edit_ = new QLineEdit(this);
  edit_->setObjectName("ctlPassword");
  edit_->setEchoMode(QLineEdit::Password);
  edit_->setMaxLength(static_cast<int>(engine::kMasterPasswordInput));
  layout->addWidget(edit_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &PasswordPrompt::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &PasswordPrompt::reject);
  layout->addWidget(buttons);
  // Wide enough that the title bar shows the whole caption.
  setMinimumWidth(fontMetrics().horizontalAdvance(windowTitle()) + 140);
}

void PasswordPrompt::accept() {
  if (engine::CheckMasterPassword(edit_->text().toStdString()) != 0) {
    edit_->selectAll();
    edit_->setFocus();
    return;
  }
  QDialog::accept();
}

bool PasswordGateOpens() {
  if (!engine::MasterPasswordSet()) return true;
  PasswordPrompt prompt;
  return prompt.exec() == QDialog::Accepted;
}

}  // namespace console
