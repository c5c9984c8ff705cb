// A non-native directory chooser with the captions of the PointCast location dialog.
#include "clientsetup/directory_dialog.h"

#include "clientsetup/browser_config.h"

namespace clientsetup {

CDirectoryDlg::CDirectoryDlg(QWidget* parent) : QFileDialog(parent) {
  setObjectName("dlg1536");
  setWindowTitle("Please specify the location of Pointcast Network");
  setOption(QFileDialog::DontUseNativeDialog, true);
  setOption(QFileDialog::ReadOnly, true);
  setFileMode(QFileDialog::Directory);
  setLabelText(QFileDialog::FileName, "File &name:");
  setLabelText(QFileDialog::LookIn, "&PointCast Network Directory:");
  setLabelText(QFileDialog::FileType, "List files of &type:");
  setNameFilter("pcn.ini (pcn.ini)");
  setDirectory(QDir::currentPath());
}

void CDirectoryDlg::accept() {
  const QStringList chosen = selectedFiles();
  const QString dir = chosen.isEmpty() ? directory().absolutePath() : chosen.front();
  std::string path;
  // The dialog stays open on a wrong directory; the check has told the user why.
  if (!AcceptPointCastDirectory(dir.left(260).toStdString(), &path)) return;
  ini_path_ = path;
  QFileDialog::accept();
}

bool ChoosePointCastIni(QWidget* parent, std::string* ini_path) {
  CDirectoryDlg dialog(parent);
  if (dialog.exec() != QDialog::Accepted) return false;
  *ini_path = dialog.ini_path();
  return true;
}

}  // namespace clientsetup
