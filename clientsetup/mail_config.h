// The mail and news configurators: Eudora, Internet Mail and News, Netscape 3.x Mail,
// Communicator Mail and Outlook Express fetch through the gateway's POP3 proxy as
// PopAccountName and send through its SMTP link; Exchange and Pegasus only get a help topic.
// Called by the configuration run on the GUI thread.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "clientsetup/setup_settings.h"

namespace clientsetup {

inline constexpr char kEudoraCommandLineKey[] = "Software\\Qualcomm\\Eudora\\CommandLine";
inline constexpr char kInternetMailKey[] = "Software\\Microsoft\\Internet Mail and News\\Mail";
inline constexpr char kNetscapeMailKey[] = "Software\\Netscape\\Netscape Navigator\\Mail";
inline constexpr char kNetscapeUserKey[] = "Software\\Netscape\\Netscape Navigator\\User";
inline constexpr char kAccountManagerKey[] = "Software\\Microsoft\\Internet Account Manager";
inline constexpr int kExchangeHelpContext = 200001;
inline constexpr int kPegasusHelpContext = 200002;

// Opens the help file at a context; the configuration run passes the utility's help.
using ShowHelpFunction = std::function<void(int context)>;

// Eudora's INI file: the last blank-separated piece of HKCU "...\Eudora\CommandLine" value
// "current". Returns 0, or a registry error code (kErrorFileNotFound for a blank value).
[[nodiscard]] long EudoraIniPath(std::string* path);
// The new text of Eudora's INI file: only the POPAccount, SMTPServer and ReturnAddress lines
// change; nothing is added.
[[nodiscard]] std::string RewriteEudoraLines(const std::vector<std::string>& lines,
                                             const SetupSettings& settings);

void ConfigureEudora(const SetupSettings& settings);
void ShowExchangeHelp(const ShowHelpFunction& show_help);
void ConfigureInternetMail(const SetupSettings& settings);
void ConfigureNetscape3Mail(const SetupSettings& settings);
void ConfigureCommunicatorMail(const SetupSettings& settings);
void ConfigureOutlookExpress(const SetupSettings& settings);
void ShowPegasusHelp(const ShowHelpFunction& show_help);

}  // namespace clientsetup
