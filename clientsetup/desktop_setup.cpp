// The order of the desktop configurators and the texts of a run and of Restore.
#include "clientsetup/desktop_setup.h"

#include "clientsetup/desktop_name_servers.h"
#include "clientsetup/desktop_proxy.h"
#include "clientsetup/hosts_and_dns.h"
#include "clientsetup/mozilla_profiles.h"
#include "clientsetup/proxy_environment.h"
#include "platform/admin_message.h"
#include "platform/local_networks.h"

namespace clientsetup {
namespace {

std::string Listed(const char* heading, const std::vector<std::string>& lines) {
  if (lines.empty()) return "";
  std::string text = std::string(heading) + "\n";
  for (const std::string& line : lines) text += "- " + line + "\n";
  return text + "\n";
}

}  // namespace

void ConfigureDesktop(const SetupSettings& s, ChangeJournal* journal, RunReport* report) {
  std::string why;
  const std::string address = GatewayIpv4(s, &why);
  const std::string lan = platform::LanNetworkFor(address);
  ConfigureMozillaClients(s, lan, journal, report);
  ConfigureDesktopProxy(s, lan, journal, report);
  ConfigureProxyEnvironment(s, lan, journal, report);
  if (address.empty()) {
    report->failed.push_back("Name servers: not changed (the gateway " + why + ")");
  } else {
    SetDesktopNameServers(address, journal, report);
  }
}

std::string ReportText(const RunReport& report) {
  std::string text = Listed("Not done:", report.failed) + Listed("Changed:", report.changed) +
                     Listed("Left as they were:", report.unchanged);
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

int RestoreDesktop(ChangeJournal* journal) {
  if (journal->Empty()) {
    platform::ShowAdminMessage("Restore", "There is nothing to restore.",
                               platform::MessageIcon::kInformation);
    return 0;
  }
  std::vector<std::string> restored;
  std::vector<std::string> failed;
  const int rc = journal->Restore(&restored, &failed);
  std::string text = Listed("Could not be restored:", failed) + Listed("Restored:", restored);
  while (!text.empty() && text.back() == '\n') text.pop_back();
  platform::ShowAdminMessage(
      "Restore", text,
      rc == 0 ? platform::MessageIcon::kInformation : platform::MessageIcon::kExclamation);
  return rc;
}

}  // namespace clientsetup
