// The rule dialog "Secure" of the Security page: eleven service radio buttons, "deny all"
// check boxes with the client and host edits they disable, and the "&Data" edit that only
// "HTTP" enables. OK runs the engine's ValidateRuleInput; a failure keeps the dialog open with
// the focus on the empty edit. Qt thread only.
#pragma once

#include <QDialog>

#include "gateway/engine/security_page.h"

class QButtonGroup;
class QCheckBox;
class QLineEdit;

namespace console {

class RuleDialog : public QDialog {
 public:
  explicit RuleDialog(const engine::RuleDialogInput& input, QWidget* parent = nullptr);
  [[nodiscard]] engine::RuleDialogInput Input() const;
  void accept() override;

 private:
  void UpdateEnabled();

  QButtonGroup* services_;
  QCheckBox* all_clients_;
  QLineEdit* client_;
  QCheckBox* all_hosts_;
  QLineEdit* host_;
  QLineEdit* data_;
};

}  // namespace console
