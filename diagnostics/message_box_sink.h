// Shows Lookout's messages (E 102, the SNMP session's boxes) as Qt message boxes over the
// active window. Installed by main for the program's life; used only by the GUI thread.
#pragma once

#include "platform/admin_message.h"

namespace diagnostics {

class MessageBoxSink : public platform::MessageSink {
 public:
  int Show(const std::string& caption, const std::string& text, platform::MessageIcon icon,
           platform::MessageButtons buttons) override;
};

}  // namespace diagnostics
