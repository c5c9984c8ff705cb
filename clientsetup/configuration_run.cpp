// The steps of a configuration run, in order, with their messages.
#include "clientsetup/configuration_run.h"

#include "clientsetup/browser_config.h"
#include "clientsetup/desktop_setup.h"
#include "clientsetup/gateway_test.h"
#include "clientsetup/help_topics.h"
#include "clientsetup/hosts_and_dns.h"
#include "platform/admin_message.h"

namespace clientsetup {
namespace {

using platform::MessageButtons;
using platform::MessageIcon;

constexpr char kDetailsCaption[] = "POP3 details not filled";

bool AnyMailClient(const SetupSettings& s) {
  return s.Eudora || s.InternetMail || s.Netscape3Mail || s.CommunicatorMail || s.OutlookExpress;
}

bool AnyConfiguredClient(const SetupSettings& s) {
  return s.IE3 || s.IE4 || s.Navigator3 || s.Communicator || s.Mosaic || s.PointCast ||
         AnyMailClient(s);
}

// Step 2: the gateway answers (or the user goes on), and no client to rewrite is running.
bool PreChecksPass(const SetupSettings& s, const SetupHooks& hooks) {
  if (hooks.test_gateway() != 0 &&
      platform::ShowAdminMessage(kProductName,
                                 "The Server could not be located on this network.\n"
                                 "Are you sure to continue ?",
                                 MessageIcon::kQuestion,
                                 MessageButtons::kYesNo) != platform::kIdYes) {
    return false;
  }
  if (s.Communicator || s.CommunicatorMail) {
    for (const char* name : {"netscape.exe", "nsnotify.exe", "npcfg32.exe", "nsconf32.exe"}) {
      if (hooks.find_process(name) != 0) {
        platform::ShowAdminMessage(
            kProductName,
            "Please ensure that Netscape Communicator is not running before you continue.");
        return false;
      }
    }
  }
  if (s.OutlookExpress && hooks.find_process("msimn.exe") == 1) {
    platform::ShowAdminMessage(
        kProductName, "Please ensure that Outlook Express is not running before you continue.");
    return false;
  }
  return true;
}

bool MailDetailsComplete(const SetupSettings& s) {
  return !s.GatewayName.empty() && !s.GatewayAddress.empty() && !s.Pop3Server.empty() &&
         !s.UserName.empty() && !s.ReturnAddress.empty();
}

void RunConfigurators(const SetupSettings& s, const SetupHooks& hooks) {
  if (s.IE3) ConfigureIE3(s);
  if (s.Navigator3) ConfigureNavigator3(s);
  if (s.Mosaic) ConfigureMosaic(s);
  std::string pcn_ini;
  if (s.PointCast && hooks.choose_pointcast_ini && hooks.choose_pointcast_ini(&pcn_ini)) {
    ConfigurePointCast(s, pcn_ini);
  }
  if (s.Eudora) ConfigureEudora(s);
  if (s.Exchange) ShowExchangeHelp(hooks.show_help);
  if (s.InternetMail) ConfigureInternetMail(s);
  if (s.Netscape3Mail) ConfigureNetscape3Mail(s);
  if (s.IE4) ConfigureIEProxy(s);
  if (s.Communicator) ConfigureCommunicator(s);
  if (s.CommunicatorMail) ConfigureCommunicatorMail(s);
  if (s.OutlookExpress) ConfigureOutlookExpress(s);
  if (s.Pegasus) ShowPegasusHelp(hooks.show_help);
}

}  // namespace

int RunConfiguration(const SetupSettings& s, const SetupHooks& hooks) {
  if (s.GatewayAddress.empty() || s.GatewayName.empty()) {
    platform::ShowAdminMessage(kDetailsCaption, "Please Fill Gateway Machine details",
                               MessageIcon::kExclamation);
    return kRunStopped;
  }
  if (!PreChecksPass(s, hooks)) return kRunStopped;
  if (AnyMailClient(s) && !MailDetailsComplete(s)) {
    platform::ShowAdminMessage(
        kDetailsCaption,
        "Please Fill the POP3 and Gateway Machine details for configuring Mail Clients",
        MessageIcon::kExclamation);
    return kRunStopped;
  }
  RunReport report;
  AddHostsEntry(s, hooks.journal, &report);
  // On a desktop the name servers in use are set below; a store without the stored TCP/IP
  // key is no failure there.
  (void)SetNameServers(s, static_cast<bool>(hooks.configure_desktop));
  RunConfigurators(s, hooks);
  if (hooks.configure_desktop) hooks.configure_desktop(s, &report);
  const std::string details = ReportText(report);
  if (!report.failed.empty()) {
    platform::ShowAdminMessage("Setup not complete", details, MessageIcon::kExclamation);
  } else if (AnyConfiguredClient(s) || (hooks.configure_desktop && !report.changed.empty())) {
    (void)SaveWorkstation(s);
    std::string text = std::string("This workstation is now configured for ") + kProductName;
    if (hooks.configure_desktop) text += "\n\n" + details;
    platform::ShowAdminMessage("Setup Complete", text, MessageIcon::kInformation);
  } else if (hooks.configure_desktop) {
    platform::ShowAdminMessage(kProductName, details, MessageIcon::kInformation);
  }
  return s.Pegasus || s.Exchange ? 0 : 1;
}

SetupHooks DefaultHooks(std::function<int()> test_gateway, bool desktop) {
  SetupHooks hooks;
  hooks.test_gateway = std::move(test_gateway);
  hooks.find_process = FindRunningProcess;
  hooks.show_help = [](int context) { (void)ShowHelpTopic(context); };
  if (!desktop) return hooks;
  static ChangeJournal journal(ChangeJournal::DefaultDirectory());
  hooks.journal = &journal;
  hooks.configure_desktop = [](const SetupSettings& s, RunReport* report) {
    ConfigureDesktop(s, &journal, report);
  };
  return hooks;
}

}  // namespace clientsetup
