// Help contexts to pages; the pages sit in the "help" folder beside the executable.
#include "clientsetup/help_topics.h"

#include "clientsetup/mail_config.h"
#include "platform/os_info.h"
#include "platform/shell_open.h"

namespace clientsetup {

std::string HelpPageFor(int context) {
  if (context == kExchangeHelpContext) return "exchange.html";
  if (context == kPegasusHelpContext) return "pegasus.html";
  if (context == kSetupHelpContext || context == 0) return "outfitter.html";
  return "outfitter.html#ctx" + std::to_string(context);
}

std::string HelpUrlFor(const std::string& help_dir, int context) {
  return "file://" + help_dir + "/" + HelpPageFor(context);
}

bool ShowHelpTopic(int context) {
  return platform::ShellOpen(HelpUrlFor(platform::ProgramDirectory() + "/help", context)) == 0;
}

}  // namespace clientsetup
