// The utility's main dialog and its About box. The main dialog owns the "Setup Information"
// dialog for the program's life; closing the main dialog ends the program. GUI thread only.
#pragma once

#include <QDialog>

#include "clientsetup/setup_info_dialog.h"

namespace clientsetup {

class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(QWidget* parent = nullptr);
};

class CSetupMainDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CSetupMainDlg(QWidget* parent = nullptr);
  [[nodiscard]] CSetupInfoDlg* setup_info() { return &setup_info_; }

 private:
  void OnConfigure();
  void OnAbout();

  CSetupInfoDlg setup_info_;
};

}  // namespace clientsetup
