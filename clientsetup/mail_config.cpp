// Registry writes and the Eudora INI rewrite of the mail configurators.
#include "clientsetup/mail_config.h"

#include "clientsetup/prefs_js.h"
#include "clientsetup/registry_values.h"
#include "clientsetup/scratch_file.h"
#include "platform/admin_message.h"
#include "platform/os_info.h"
#include "platform/registry.h"

namespace clientsetup {
namespace {

constexpr size_t kCommandLineBuffer = 200;
constexpr size_t kAccountNameBuffer = 512;
constexpr uint32_t kPop3Port = 110;
constexpr uint32_t kSmtpPort = 25;

bool BeginsWith(const std::string& line, const char* prefix) {
  return line.rfind(prefix, 0) == 0;
}

void ShowHelpNotice(const std::string& client_part, const std::string& help_sentence,
                    const std::string& caption, int context, const ShowHelpFunction& show_help) {
  platform::ShowAdminMessage(
      caption, std::string(kProductName) + " Client Setup Utility cannot " + client_part +
                   help_sentence);
  if (show_help) show_help(context);
}

}  // namespace

long EudoraIniPath(std::string* path) {
  platform::RegKey key;
  long rc = platform::RegOpenKey(platform::Hive::kCurrentUser, kEudoraCommandLineKey, &key);
  if (rc != platform::kErrorSuccess) return rc;
  std::string command_line;
  rc = ReadStringValue(key, "current", kCommandLineBuffer, &command_line);
  platform::RegCloseKey(key);
  if (rc != platform::kErrorSuccess) return rc;
  const size_t end = command_line.find_last_not_of(' ');
  if (end == std::string::npos) return platform::kErrorFileNotFound;
  const size_t start = command_line.rfind(' ', end);
  const size_t from = start == std::string::npos ? 0 : start + 1;
  *path = platform::NativePath(command_line.substr(from, end + 1 - from));
  return platform::kErrorSuccess;
}

std::string RewriteEudoraLines(const std::vector<std::string>& lines, const SetupSettings& s) {
  std::string out;
  for (const std::string& line : lines) {
    if (BeginsWith(line, "POPAccount")) {
      out += "POPAccount=" + PopAccountName(s) + "@" + s.GatewayName + "\n";
    } else if (BeginsWith(line, "SMTPServer")) {
      out += "SMTPServer=" + s.GatewayName + "\n";
    } else if (BeginsWith(line, "ReturnAddress")) {
      out += "ReturnAddress=" + s.ReturnAddress + "\n";
    } else {
      out += line;
    }
  }
  return out;
}

void ConfigureEudora(const SetupSettings& settings) {
  std::string path;
  if (EudoraIniPath(&path) != platform::kErrorSuccess) return;
  // Only a fresh copy may be used: a "TempFile" left by an earlier step is another file.
  if (CopyToTempFile(path) == 0) return;
  std::vector<std::string> lines;
  if (!ReadTextLines(kTempFileName, &lines)) return;
  (void)ReplaceFileContents(path, RewriteEudoraLines(lines, settings));
}

void ShowExchangeHelp(const ShowHelpFunction& show_help) {
  ShowHelpNotice("setup MSExchange automatically.\n\n",
                 "Help on configuring MSExchange will be displayed to assist you.",
                 "Configuring MSExchange", kExchangeHelpContext, show_help);
}

void ShowPegasusHelp(const ShowHelpFunction& show_help) {
  ShowHelpNotice("setup Pegasus Mail automatically.\n\n",
                 "Help on configuring Pegasus Mail will be displayed to assist you.",
                 "Configuring Pegasus Mail", kPegasusHelpContext, show_help);
}

void ConfigureInternetMail(const SetupSettings& settings) {
  const std::string& gw = settings.GatewayName;
  platform::RegKey key;
  if (platform::RegCreateKey(platform::Hive::kCurrentUser, kInternetMailKey, &key) != 0) return;
  (void)platform::RegSetString(key, "Default SMTP Server", gw);
  (void)platform::RegSetString(key, "Default POP3 Server", gw);
  (void)platform::RegSetString(key, "Reply To", settings.ReturnAddress);
  platform::RegCloseKey(key);
  const std::string base = kInternetMailKey;
  if (platform::RegCreateKey(platform::Hive::kCurrentUser, base + "\\POP3\\" + gw, &key) == 0) {
    (void)platform::RegSetString(key, "Account", PopAccountName(settings));
    (void)platform::RegSetDword(key, "Port", kPop3Port);
    platform::RegCloseKey(key);
  }
  if (platform::RegCreateKey(platform::Hive::kCurrentUser, base + "\\SMTP\\" + gw, &key) == 0) {
    (void)platform::RegSetDword(key, "Port", kSmtpPort);
    platform::RegCloseKey(key);
  }
}

void ConfigureNetscape3Mail(const SetupSettings& settings) {
  platform::RegKey key;
  if (platform::RegOpenKey(platform::Hive::kCurrentUser, kNetscapeMailKey, &key) != 0) return;
  (void)platform::RegSetString(key, "POP Name", PopAccountName(settings));
  platform::RegCloseKey(key);
  if (platform::RegOpenKey(platform::Hive::kCurrentUser, kNetscapeUserKey, &key) != 0) return;
  (void)platform::RegSetString(key, "Reply_To", settings.ReturnAddress);
  platform::RegCloseKey(key);
}

void ConfigureCommunicatorMail(const SetupSettings& settings) {
  (void)RewritePrefsFile(CommunicatorMailPrefs(settings));
}

void ConfigureOutlookExpress(const SetupSettings& settings) {
  platform::RegKey manager;
  if (platform::RegOpenKey(platform::Hive::kCurrentUser, kAccountManagerKey, &manager) != 0) {
    return;
  }
  std::string account;
  long rc = ReadStringValue(manager, "Default Mail Account", kAccountNameBuffer, &account);
  platform::RegCloseKey(manager);
  platform::RegKey key;
  if (rc != 0 || account.empty() ||
      platform::RegOpenKey(platform::Hive::kCurrentUser,
                                      std::string(kAccountManagerKey) + "\\Accounts\\" + account,
                                      &key) != 0) {
    return;
  }
  const std::string& gw = settings.GatewayName;
  (void)platform::RegSetString(key, "POP3 User Name", PopAccountName(settings));
  (void)platform::RegSetString(key, "POP3 Server", gw);
  (void)platform::RegSetString(key, "SMTP Server", gw);
  (void)platform::RegSetString(key, "SMTP Email Address", settings.ReturnAddress);
  (void)platform::RegSetString(key, "SMTP Reply To Email Address", settings.ReturnAddress);
  (void)platform::RegSetDword(key, "Connection Type", 0);
  platform::RegCloseKey(key);
}

}  // namespace clientsetup
