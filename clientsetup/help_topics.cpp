// Help contexts to pages; the pages sit in the "help" folder beside the executable.
#include "clientsetup/help_topics.h"

#include "clientsetup/mail_config.h"
#include "clientsetup/setup_settings.h"
#include "platform/admin_message.h"
#include "platform/os_info.h"
#include "platform/run_command.h"
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

std::string HelpOpenProblem() {
  if (platform::FindOnPath("xdg-open").empty()) return "xdg-open is not installed";
  std::string handler;
  if (platform::RunCommand({"xdg-mime", "query", "default", "text/html"}, &handler) == 0 &&
      handler.find_first_not_of(" \n") == std::string::npos) {
    return "no program is set to open web pages";
  }
  return "";
}

bool ShowHelpTopic(int context) {
  const std::string url = HelpUrlFor(platform::ProgramDirectory() + "/help", context);
  std::string problem = HelpOpenProblem();
  if (problem.empty() && platform::ShellOpen(url) == 0) return true;
  if (problem.empty()) problem = "xdg-open could not be started";
  platform::ShowAdminMessage(
      kProductName,
      "The help page could not be opened: " + problem + ".\nPlease point your browser to " + url,
      platform::MessageIcon::kExclamation);
  return false;
}

}  // namespace clientsetup
