// Lookout: the diagnostics utility. One dialog; the program ends when it closes.
#include <QApplication>

#include "diagnostics/diag_dialog.h"
#include "diagnostics/message_box_sink.h"
#include "platform/admin_message.h"
#include "platform/command_line.h"

int main(int argc, char** argv) {
  if (int code = platform::HandleBareCommandLine(argc, argv, "Lookout",
                                                 "Shows the diagnostics report of this machine.");
      code >= 0) {
    return code;
  }
  QApplication app(argc, argv);
  diagnostics::MessageBoxSink sink;
  platform::SetMessageSink(&sink);
  diagnostics::CDiagDlg dialog;
  dialog.exec();
  platform::SetMessageSink(nullptr);
  return 0;
}
