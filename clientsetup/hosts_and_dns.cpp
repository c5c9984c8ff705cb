// The hosts file rewrite and the NameServer value.
#include "clientsetup/hosts_and_dns.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>

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

std::string GatewayIpv4(const SetupSettings& settings, std::string* why) {
  const std::string& given = settings.GatewayAddress;
  in_addr parsed{};
  if (inet_pton(AF_INET, given.c_str(), &parsed) == 1) return given;
  std::vector<std::string> found;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  if (!given.empty() && getaddrinfo(given.c_str(), nullptr, &hints, &list) == 0) {
    for (addrinfo* ai = list; ai != nullptr; ai = ai->ai_next) {
      char text[INET_ADDRSTRLEN] = {};
      inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(ai->ai_addr)->sin_addr, text, sizeof text);
      if (std::find(found.begin(), found.end(), text) == found.end()) found.push_back(text);
    }
    freeaddrinfo(list);
  }
  if (found.size() == 1) return found.front();
  *why = "\"" + given + "\" " +
         (found.empty() ? std::string("does not resolve to an IPv4 address")
                        : "resolves to " + std::to_string(found.size()) + " IPv4 addresses");
  return "";
}

std::string PlaceHostsEntry(const std::vector<std::string>& lines, const std::string& address,
                            const std::string& name) {
  const std::string entry_line = address + "     " + name + "\n";
  std::string out;
  bool placed = false;
  for (const std::string& line : lines) {
    const size_t hash = line.find('#');
    std::istringstream fields(line.substr(0, hash));
    std::string line_address;
    std::vector<std::string> names;
    bool names_gateway = false;
    fields >> line_address;
    for (std::string n; fields >> n;) {
      if (strcasecmp(n.c_str(), name.c_str()) == 0) {
        names_gateway = true;
      } else {
        names.push_back(n);
      }
    }
    if (!names_gateway) {
      out += line;
      continue;
    }
    if (!names.empty()) {
      // The line's other names stay with their address.
      std::string kept = line_address;
      for (const std::string& n : names) kept += " " + n;
      if (hash != std::string::npos) kept += " " + line.substr(hash);
      if (kept.back() != '\n') kept += '\n';
      out += kept;
    }
    if (!placed) out += entry_line;
    placed = true;
  }
  if (placed) return out;
  return InsertHostsEntry(lines, "\n" + entry_line);
}

void AddHostsEntry(const SetupSettings& settings, ChangeJournal* journal, RunReport* report) {
  RunReport ignored;
  if (report == nullptr) report = &ignored;
  const std::string what = "Hosts file " + platform::HostsFilePath();
  std::string why;
  const std::string address = GatewayIpv4(settings, &why);
  if (address.empty()) {
    report->failed.push_back(what + ": not changed (the gateway " + why + ")");
    return;
  }
  const std::string path = platform::HostsFilePath();
  std::vector<std::string> lines;
  if (CopyToTempFile(path) != 0) {
    const bool read = ReadTextLines(kTempFileName, &lines);
    RemoveTempFile();
    if (!read) {
      report->failed.push_back(what + ": not changed (it cannot be read)");
      return;
    }
  } else if (access(path.c_str(), F_OK) == 0) {
    report->failed.push_back(what + ": not changed (it cannot be read)");
    return;
  }
  const FileWrite result =
      WriteUndoably(journal, path, PlaceHostsEntry(lines, address, settings.GatewayName), &why);
  Note(report, result, what, address + " " + settings.GatewayName + " entered", why);
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

long SetNameServers(const SetupSettings& settings, bool quiet_when_missing) {
  const bool win95 = platform::IsWin95Family();
  platform::RegKey key;
  long rc = platform::RegOpenKey(platform::Hive::kLocalMachine,
                                 win95 ? kNameServerKey95 : kNameServerKeyNt, &key);
  if (rc != platform::kErrorSuccess) {
    if (quiet_when_missing && rc == platform::kErrorFileNotFound) return rc;
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
