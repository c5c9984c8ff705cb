// Registry writes of the IE and Navigator configurators and the INI and Prefs.js rewrites.
#include "clientsetup/browser_config.h"

#include <sys/stat.h>

#include <vector>

#include "clientsetup/ini_merge.h"
#include "clientsetup/prefs_js.h"
#include "clientsetup/registry_values.h"
#include "clientsetup/scratch_file.h"
#include "platform/admin_message.h"
#include "platform/os_info.h"
#include "platform/registry.h"

namespace clientsetup {
namespace {

constexpr size_t kProxyServerBuffer = 300;

std::vector<std::string> SplitTokens(const std::string& text, const std::string& separators) {
  std::vector<std::string> tokens;
  size_t start = text.find_first_not_of(separators);
  while (start != std::string::npos) {
    size_t end = text.find_first_of(separators, start);
    tokens.push_back(text.substr(start, end == std::string::npos ? end : end - start));
    start = end == std::string::npos ? end : text.find_first_not_of(separators, end);
  }
  return tokens;
}

// Rewrites path from a fresh copy in "TempFile" with merge; never from a stale scratch file.
template <typename Merge>
void RewriteIniFile(const std::string& path, bool keep_temp_file, Merge merge) {
  if (CopyToTempFile(path) == 0) return;
  std::vector<std::string> lines;
  if (ReadTextLines(kTempFileName, &lines)) (void)ReplaceFileContents(path, merge(lines));
  if (!keep_temp_file) RemoveTempFile();
}

}  // namespace

std::string BuildProxyServer(const std::string& old_value, const std::string& gateway_name) {
  std::string carried;
  const std::vector<std::string> tokens = SplitTokens(old_value, "=;");
  for (size_t i = 0; i + 1 < tokens.size(); ++i) {
    if (tokens[i] == "HTTPS") {
      carried = tokens[i] + "=" + tokens[i + 1];
      break;
    }
  }
  return "http=" + gateway_name + ":80;" + "socks=" + gateway_name + ":1080;" + carried;
}

void ConfigureIE3(const SetupSettings& settings) {
  platform::RegKey key;
  if (platform::RegOpenKey(platform::Hive::kCurrentUser, kIeServicesKey, &key) != 0) return;
  (void)platform::RegSetString(key, "NNTP_Server", settings.GatewayName);
  ConfigureIEProxy(settings);
  platform::RegCloseKey(key);
}

void ConfigureIEProxy(const SetupSettings& settings) {
  platform::RegKey key;
  if (platform::RegOpenKey(platform::Hive::kCurrentUser, kIeSettingsKey, &key) != 0) return;
  std::string old_value;
  if (ReadStringValue(key, "ProxyServer", kProxyServerBuffer, &old_value) == 0) {
    (void)platform::RegSetString(key, "ProxyServer",
                                 BuildProxyServer(old_value, settings.GatewayName));
    const uint8_t enable[4] = {1, 0, 0, 0};
    (void)platform::RegSetValue(key, "ProxyEnable", platform::kRegBinary, enable, sizeof enable);
  }
  platform::RegCloseKey(key);
}

void ConfigureNavigator3(const SetupSettings& settings) {
  const std::string& gw = settings.GatewayName;
  platform::RegKey key;
  if (platform::RegOpenKey(platform::Hive::kCurrentUser, kNavigatorProxyKey, &key) == 0) {
    (void)platform::RegSetDword(key, "Proxy Type", 1);
    (void)platform::RegSetString(key, "FTP_Proxy", "");
    (void)platform::RegSetDword(key, "Ftp_ProxyPort", 0);
    (void)platform::RegSetDword(key, "Http_ProxyPort", 80);
    (void)platform::RegSetString(key, "HTTP_Proxy", gw);
    (void)platform::RegSetDword(key, "News_ProxyPort", 119);
    platform::RegCloseKey(key);
  }
  if (platform::RegOpenKey(platform::Hive::kCurrentUser, kNavigatorServicesKey, &key) == 0) {
    for (const char* name : {"NNTP_Server", "POP_Server", "SOCKS_Server", "SMTP_Server"}) {
      (void)platform::RegSetString(key, name, gw);
    }
    (void)platform::RegSetDword(key, "SOCKS_ServerPort", 1080);
    platform::RegCloseKey(key);
  }
}

void ConfigureMosaic(const SetupSettings& settings) {
  RewriteIniFile(platform::WindowsDirectory() + "/Mosaic.ini", false,
                 [&](const std::vector<std::string>& lines) {
                   return MergeMosaicIni(lines, settings);
                 });
}

void ConfigurePointCast(const SetupSettings& settings, const std::string& ini_path) {
  RewriteIniFile(ini_path, true, [&](const std::vector<std::string>& lines) {
    return MergePointCastIni(lines, settings);
  });
}

void ConfigureCommunicator(const SetupSettings& settings) {
  (void)RewritePrefsFile(CommunicatorProxyPrefs(settings));
}

bool AcceptPointCastDirectory(const std::string& directory, std::string* ini_path) {
  const std::string path = directory + "/pcn.ini";
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    platform::ShowAdminMessage("Wrong path specified",
                               "Pointcast Network was not found in the specified directory",
                               platform::MessageIcon::kExclamation);
    return false;
  }
  // The owner's write bit stands for the read-only attribute.
  if ((st.st_mode & S_IWUSR) == 0) {
    platform::ShowAdminMessage("Cannot write to file",
                               "Pointcast Network's INI File is ReadOnly\n\n"
                               "Cannot configure Pointcast Network",
                               platform::MessageIcon::kExclamation);
    return false;
  }
  *ini_path = path;
  return true;
}

}  // namespace clientsetup
