// Layout and handlers of the Lookout dialog.
#include "diagnostics/diag_dialog.h"

#include <QAction>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "diagnostics/diag_report.h"
#include "diagnostics/report_texts.h"
#include "platform/shell_open.h"

namespace diagnostics {

void ConfigureSaveAsDialog(QFileDialog* dialog) {
  dialog->setAcceptMode(QFileDialog::AcceptSave);
  dialog->setFileMode(QFileDialog::AnyFile);
  dialog->setOption(QFileDialog::DontConfirmOverwrite, false);
  dialog->setOption(QFileDialog::DontUseNativeDialog, true);
  dialog->setDefaultSuffix("txt");
  dialog->setNameFilters({"Text File (*.txt)", "All Files (*.*)"});
  dialog->selectFile("Wayfarer");
}

std::optional<std::string> ChooseReportPath(QWidget* parent) {
  QFileDialog dialog(parent, "Save As");
  ConfigureSaveAsDialog(&dialog);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().first().toStdString();
}

CDiagDlg::CDiagDlg(QWidget* parent)
    : QDialog(parent), choose_path_(ChooseReportPath), open_report_([](const std::string& path) {
        // As with the shell's open verb, a desktop without a handler simply shows nothing.
        static_cast<void>(platform::ShellOpen(path));
      }) {
  setWindowTitle(kDialogCaption);
  const QPixmap own_icon(QCoreApplication::applicationDirPath() + "/Lookout.png");
  setWindowIcon(own_icon.isNull() ? style()->standardIcon(QStyle::SP_ComputerIcon)
                                  : QIcon(own_icon));
  auto* text = new QLabel(kDialogText, this);
  text->setObjectName("static1002");
  text->setWordWrap(true);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText("OK");
  buttons->button(QDialogButtonBox::Cancel)->setText("Cancel");
  connect(buttons, &QDialogButtonBox::accepted, this, &CDiagDlg::RunReport);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text);
  layout->addWidget(buttons);
  // The About command of the window menu lives in the dialog's context menu.
  about_action_ = new QAction(kAboutMenuText, this);
  connect(about_action_, &QAction::triggered, this, &CDiagDlg::ShowAbout);
  addAction(about_action_);
  setContextMenuPolicy(Qt::ActionsContextMenu);
}

void CDiagDlg::RunReport() {
  std::optional<std::string> path = choose_path_(this);
  if (!path) return;
  if (WriteDiagReport(*path, agent_) != 0) return;
  open_report_(*path);
  accept();
}

QMessageBox* CDiagDlg::ShowAbout() {
  auto* box = new QMessageBox(QMessageBox::Information, kAboutCaption,
                              "Lookout\nWayfarer Version 2.0\n\nDiagnostics utility of "
                              "Wayfarer Computer Products Ltd.",
                              QMessageBox::Ok, this);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->open();
  return box;
}

}  // namespace diagnostics
