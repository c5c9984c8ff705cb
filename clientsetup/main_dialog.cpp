// Layout and buttons of the main dialog and the About box.
#include "clientsetup/main_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "clientsetup/desktop_setup.h"
#include "clientsetup/help_topics.h"

namespace clientsetup {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  setObjectName("dlg100");
  setWindowTitle(QString("About ") + kProductName);
  auto* layout = new QVBoxLayout(this);
  auto* version = new QLabel(QString::fromStdString(AboutVersionText()));
  version->setObjectName("ctl1004");
  layout->addWidget(version);
  auto* ok = new QPushButton("OK");
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  layout->addWidget(ok, 0, Qt::AlignRight);
}

CSetupMainDlg::CSetupMainDlg(QWidget* parent) : QDialog(parent), setup_info_(this) {
  setObjectName("dlg102");
  setWindowTitle(kProductName);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(
      "This utility configures your machine to be a client machine of your Proxy Server."));
  layout->addWidget(new QLabel("The configuration is done only for the currently logged on user."));
  auto* buttons = new QHBoxLayout;
  auto* configure = new QPushButton("Configure");
  configure->setObjectName("ctl1");
  configure->setDefault(true);
  auto* close = new QPushButton("Close");
  close->setObjectName("ctl2");
  auto* help = new QPushButton("&Help");
  help->setObjectName("ctlHelp");
  auto* about = new QPushButton("About");
  about->setObjectName("ctl100");
  auto* restore = new QPushButton("Restore");
  restore->setObjectName("ctlRestore");
  restore->setToolTip("Put back what earlier configuration runs changed on this machine");
  for (QPushButton* button : {configure, restore, close, help, about}) buttons->addWidget(button);
  layout->addLayout(buttons);
  connect(configure, &QPushButton::clicked, this, [this] { OnConfigure(); });
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
  connect(help, &QPushButton::clicked, this, [] { ShowHelpTopic(kSetupHelpContext); });
  connect(about, &QPushButton::clicked, this, [this] { OnAbout(); });
  connect(restore, &QPushButton::clicked, this, [] {
    ChangeJournal journal(ChangeJournal::DefaultDirectory());
    (void)RestoreDesktop(&journal);
  });
}

void CSetupMainDlg::OnConfigure() {
  if (setup_info_.exec() == 1) accept();
}

void CSetupMainDlg::OnAbout() {
  CAboutDlg about(this);
  about.exec();
}

}  // namespace clientsetup
