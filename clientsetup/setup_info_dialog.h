// The "Setup Information" dialog: gateway, browsers, mail clients and POP3 details, the
// gateway test indicator, and OK running the configuration. Owned by the main dialog and kept
// for the program's life, so values survive between openings. GUI thread only.
#pragma once

#include <QDialog>
#include <map>

#include "clientsetup/gateway_test.h"
#include "clientsetup/setup_settings.h"

class QCheckBox;
class QLabel;
class QLineEdit;

namespace clientsetup {

class CSetupInfoDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CSetupInfoDlg(QWidget* parent = nullptr);

  [[nodiscard]] const SetupSettings& settings() const { return settings_; }
  [[nodiscard]] TestState test_state() const { return test_state_; }
  // Runs the gateway test on the address edit's text and shows the result; PingGateway's result.
  int TestGateway();
  // The help context of a control id (0 for controls without one).
  [[nodiscard]] static int HelpContextFor(int control_id);
  // Whether OK also configures this machine's desktop (off until the program turns it on, so
  // a dialog made in a test never reaches the machine's own files).
  void set_configure_desktop(bool on) { configure_desktop_ = on; }

 protected:
  void showEvent(QShowEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  bool configure_desktop_ = false;
  QWidget* BuildGatewayGroup();
  QWidget* BuildBrowserGroup();
  QWidget* BuildMailGroup();
  QWidget* BuildPopGroup();
  QLineEdit* AddEdit(int id, std::string SetupSettings::*field);
  QCheckBox* AddCheck(int id, const char* label, int SetupSettings::*flag);
  void OnUseDefaults();
  void OnTestConnectivity();
  void OnOk();
  void SetTestState(TestState state);
  void Initialise();

  SetupSettings settings_;
  TestState test_state_ = TestState::kNotTested;
  std::map<int, QLineEdit*> edits_;
  QCheckBox* use_defaults_ = nullptr;
  QLabel* state_icon_ = nullptr;
  QLabel* state_text_ = nullptr;
};

}  // namespace clientsetup
