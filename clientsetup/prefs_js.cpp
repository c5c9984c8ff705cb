// Prefs.js lines, the two preference sets and the rewrite through "TempFile".
#include "clientsetup/prefs_js.h"

#include "clientsetup/registry_values.h"
#include "clientsetup/scratch_file.h"
#include "platform/admin_message.h"
#include "platform/os_info.h"
#include "platform/registry.h"

namespace clientsetup {
namespace {

constexpr char kUsersKey[] = "Software\\Netscape\\Netscape Navigator\\Users";
constexpr size_t kUserNameBuffer = 512;
constexpr size_t kDirRootBuffer = 512;

// Prefixes of the Prefs.js lines this utility writes.
constexpr char kHttpPort[] = "user_pref(\"network.proxy.http_port\", ";
constexpr char kFtpPort[] = "user_pref(\"network.proxy.ftp_port\", ";
constexpr char kSocksPort[] = "user_pref(\"network.hosts.socks_serverport\", ";
constexpr char kNewsPort[] = "user_pref(\"news.server_port\", ";
constexpr char kProxyType[] = "user_pref(\"network.proxy.type\", ";
constexpr char kHttpProxy[] = "user_pref(\"network.proxy.http\", \"";
constexpr char kFtpProxy[] = "user_pref(\"network.proxy.ftp\", \"";
constexpr char kNntpServer[] = "user_pref(\"network.hosts.nntp_server\", \"";
constexpr char kSocksServer[] = "user_pref(\"network.hosts.socks_server\", \"";
constexpr char kPopServer[] = "user_pref(\"network.hosts.pop_server\", \"";
constexpr char kSmtpServer[] = "user_pref(\"network.hosts.smtp_server\", \"";
constexpr char kPopName[] = "user_pref(\"mail.pop_name\", \"";
constexpr char kReplyTo[] = "user_pref(\"mail.identity.reply_to\", \"";
constexpr char kUserEmail[] = "user_pref(\"mail.identity.useremail\", \"";

}  // namespace

std::string NumberPrefLine(const std::string& prefix, int value) {
  return prefix + std::to_string(value) + ");\n";
}

std::string TextPrefLine(const std::string& prefix, const std::string& value) {
  return prefix + value + "\");\n";
}

PrefsRewrite CommunicatorProxyPrefs(const SetupSettings& s) {
  const std::string& gw = s.GatewayName;
  return {{"network.proxy.http_port", "network.proxy.ftp_port", "network.hosts.socks_serverport",
           "news.server_port", "network.proxy.type", "network.proxy.http", "network.proxy.ftp",
           "network.hosts.nntp_server", "network.hosts.socks_server"},
          {NumberPrefLine(kHttpPort, 80), NumberPrefLine(kFtpPort, 21),
           NumberPrefLine(kSocksPort, 1080), NumberPrefLine(kNewsPort, 119),
           NumberPrefLine(kProxyType, 1), TextPrefLine(kHttpProxy, gw), TextPrefLine(kFtpProxy, ""),
           TextPrefLine(kNntpServer, gw), TextPrefLine(kSocksServer, gw)}};
}

PrefsRewrite CommunicatorMailPrefs(const SetupSettings& s) {
  return {{kPopServer, kSmtpServer, kPopName, kReplyTo, kUserEmail},
          {TextPrefLine(kPopServer, s.GatewayName), TextPrefLine(kSmtpServer, s.GatewayName),
           TextPrefLine(kPopName, PopAccountName(s)), TextPrefLine(kReplyTo, s.ReturnAddress),
           TextPrefLine(kUserEmail, s.ReturnAddress)}};
}

std::string RewritePrefsLines(const std::vector<std::string>& lines, const PrefsRewrite& rewrite) {
  std::string out;
  for (const std::string& line : lines) {
    bool dropped = false;
    for (const std::string& text : rewrite.removed_texts) {
      if (line.find(text) != std::string::npos) dropped = true;
    }
    if (!dropped) out += line;
  }
  if (!out.empty() && out.back() != '\n') out += '\n';
  for (const std::string& line : rewrite.appended_lines) out += line;
  return out;
}

long NetscapePrefsPath(std::string* path) {
  platform::RegKey users;
  long rc = platform::RegOpenKey(platform::Hive::kLocalMachine, kUsersKey, &users);
  if (rc != platform::kErrorSuccess) return rc;
  std::string user;
  rc = ReadStringValue(users, "CurrentUser", kUserNameBuffer, &user);
  platform::RegCloseKey(users);
  if (rc != platform::kErrorSuccess) return rc;
  platform::RegKey user_key;
  rc = platform::RegOpenKey(platform::Hive::kLocalMachine, std::string(kUsersKey) + "\\" + user,
                            &user_key);
  if (rc != platform::kErrorSuccess) return rc;
  std::string dir_root;
  rc = ReadStringValue(user_key, "DirRoot", kDirRootBuffer, &dir_root);
  platform::RegCloseKey(user_key);
  if (rc != platform::kErrorSuccess) return rc;
  *path = platform::NativePath(dir_root + "\\Prefs.js");
  return platform::kErrorSuccess;
}

int RewritePrefsFile(const PrefsRewrite& rewrite) {
  std::string path;
  if (NetscapePrefsPath(&path) != platform::kErrorSuccess || CopyToTempFile(path) == 0) {
    platform::ShowAdminMessage(kProductName, "A Temporary file could not be opened.");
    return -1;
  }
  std::vector<std::string> lines;
  int result = -1;
  if (ReadTextLines(kTempFileName, &lines)) {
    result = ReplaceFileContents(path, RewritePrefsLines(lines, rewrite));
  }
  RemoveTempFile();
  return result;
}

}  // namespace clientsetup
