// Outfitter: points this client machine's browsers, mail readers, hosts file and name servers
// at the Wayfarer gateway. A single-threaded dialog program.
#include <QApplication>
#include <QIcon>
#include <QPixmap>

#include "clientsetup/main_dialog.h"
#include "clientsetup/message_box_sink.h"
#include "platform/command_line.h"

int main(int argc, char** argv) {
  if (int code = platform::HandleBareCommandLine(argc, argv, "Outfitter",
                                                 "Points this machine's browsers, mail readers, "
                                                 "hosts file and name servers at the\ngateway.");
      code >= 0) {
    return code;
  }
  QApplication app(argc, argv);
  app.setWindowIcon(QIcon(QPixmap(QCoreApplication::applicationDirPath() + "/Outfitter.png")));
  clientsetup::MessageBoxSink sink;
  platform::SetMessageSink(&sink);
  clientsetup::CSetupMainDlg dialog;
  dialog.setup_info()->set_configure_desktop(true);
  dialog.exec();
  platform::SetMessageSink(nullptr);
  return 0;
}
