// The service dialogs of the Services page: "Modify <name> Service" (131), "Modify Service"
// with the default server (133), "New Mapping" / "Modify Mapping" (134) and "Modify DNS"
// (145). OK runs the engine's checks for the dialog; a failure leaves it open with the focus
// on the control the check names. Controls are named "ctl<id>". Qt thread only.
#pragma once

#include <QDialog>
#include <string>

#include "gateway/engine/service_dialogs.h"

class QCheckBox;
class QLineEdit;
class QRadioButton;

namespace console {

class ServiceDialog : public QDialog {
 public:
  // kind: which dialog; new_mapping: 134 in "new" mode; name: the service's kind name (the
  // captions of 131 and the server label of 133 show it).
  ServiceDialog(engine::ServiceDialogKind kind, bool new_mapping, const std::string& name,
                const engine::ServiceDialogInput& input, QWidget* parent = nullptr);

  // What the controls hold now (numbers that are not numbers count as 0).
  [[nodiscard]] engine::ServiceDialogInput Input() const;
  // The control with that id, nullptr when this dialog has none.
  [[nodiscard]] QWidget* Control(int id) const;
  void accept() override;

 private:
  QLineEdit* NumberEdit(int id, int value);
  QLineEdit* TextEdit(int id, const std::string& text, int max_length);
  QCheckBox* Check(int id, const char* label, bool on);

  engine::ServiceDialogKind kind_;
  engine::ServiceDialogInput preset_;
};

}  // namespace console
