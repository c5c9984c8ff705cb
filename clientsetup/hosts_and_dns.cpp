// The hosts file rewrite and the NameServer value.
#include "clientsetup/hosts_and_dns.h"

#include <unistd.h>

#include "clientsetup/scratch_file.h"
#include "platform/admin_message.h"
#include "platform/os_info.h"
#include "platform/registry.h"

namespace clientsetup {
namespace {

bool IsComment(const std::string& line) { return line.find('#') != std::string::npos; }

std::vector<std::string> SplitEntries(const std::string& text) {
  std::vector<std::string> entries;
  size_t start = text.find_first_not_of(" ,");
  while (start != std::string::npos) {
    size_t end = text.find_first_of(" ,", start);
    entries.push_back(text.substr(start, end == std::string::npos ? end : end - start));
    start = end == std::string::npos ? end : text.find_first_not_of(" ,", end);
  }
  return entries;
}

std::string DnsFailedText(long error) {
  return "Please change the DNS settings for this machine to point to the " +
         std::string(kProductName) + " server machine.\nError Code = " + std::to_string(error) +
         "\n\nPlease refer to Microsoft Help for more information.";
}

}  // namespace

std::string HostsEntry(const SetupSettings& settings) {
  return "\n" + settings.GatewayAddress + "     " + settings.GatewayName + "\n";
}

std::string InsertHostsEntry(const std::vector<std::string>& lines, const std::string& entry) {
  const bool starts_with_comments = !lines.empty() && IsComment(lines.front());
  bool written = false;
  std::string out;
  for (const std::string& line : lines) {
    if (!written && (!IsComment(line) || !starts_with_comments)) {
      out += entry;
      written = true;
    }
    out += line;
  }
  if (!written) {
    // A last comment line without its newline must not swallow the entry's empty line.
    if (!out.empty() && out.back() != '\n') out += '\n';
    out += entry;
  }
  return out;
}

void AddHostsEntry(const SetupSettings& settings) {
  const std::string path = platform::HostsFilePath();
  const std::string entry = HostsEntry(settings);
  if (CopyToTempFile(path) == 0) {
    // No hosts file yet: it holds only the entry. An unreadable one is left alone.
    if (access(path.c_str(), F_OK) != 0) (void)ReplaceFileContents(path, entry);
    return;
  }
  std::vector<std::string> lines;
  if (ReadTextLines(kTempFileName, &lines)) {
    (void)ReplaceFileContents(path, InsertHostsEntry(lines, entry));
  }
  RemoveTempFile();
}

std::string BuildNameServer(const std::string& old_value, const std::string& gateway_address,
                            char separator, bool* changed) {
  const std::vector<std::string> entries = SplitEntries(old_value);
  *changed = true;
  if (entries.empty()) return gateway_address;
  if (entries.front() == gateway_address) {
    *changed = false;
    return old_value;
  }
  std::string value = gateway_address + separator + entries[0];
  if (entries.size() > 1) value += separator + entries[1];
  return value;
}

long SetNameServers(const SetupSettings& settings) {
  const bool win95 = platform::IsWin95Family();
  platform::RegKey key;
  long rc = platform::RegOpenKey(platform::Hive::kLocalMachine,
                                 win95 ? kNameServerKey95 : kNameServerKeyNt, &key);
  if (rc != platform::kErrorSuccess) {
    platform::ShowAdminMessage("DNS Setup failed", DnsFailedText(rc));
    return rc;
  }
  std::string old_value;
  long read = platform::RegQueryString(key, "NameServer", &old_value);
  if (read == platform::kErrorFileNotFound) {
    (void)platform::RegSetString(key, "HostName", "");
    (void)platform::RegSetString(key, "Domain", "");
    (void)platform::RegSetString(key, "SearchList", "");
    (void)platform::RegSetString(key, "NameServer", settings.GatewayAddress);
  } else if (read == platform::kErrorSuccess) {
    bool changed = false;
    std::string value =
        BuildNameServer(old_value, settings.GatewayAddress, win95 ? ',' : ' ', &changed);
    if (changed) (void)platform::RegSetString(key, "NameServer", value);
  }
  (void)platform::RegSetString(key, "EnableDNS", "1");
  platform::RegCloseKey(key);
  return platform::kErrorSuccess;
}

}  // namespace clientsetup
