// The PointCast location dialog: asks for the directory holding "pcn.ini" and keeps its path
// when the directory passes the checks. Modal, on the GUI thread.
#pragma once

#include <QFileDialog>
#include <string>

namespace clientsetup {

class CDirectoryDlg : public QFileDialog {
  Q_OBJECT

 public:
  explicit CDirectoryDlg(QWidget* parent = nullptr);
  // The path of pcn.ini once the dialog was accepted.
  [[nodiscard]] const std::string& ini_path() const { return ini_path_; }

 public slots:
  void accept() override;

 private:
  std::string ini_path_;
};

// Shows the dialog; false when the user cancels.
bool ChoosePointCastIni(QWidget* parent, std::string* ini_path);

}  // namespace clientsetup
