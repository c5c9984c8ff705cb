// Three ways to the name servers, each kept with its undo.
#include "clientsetup/desktop_name_servers.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sstream>

#include "platform/local_networks.h"
#include "platform/run_command.h"

namespace clientsetup {
namespace {

constexpr char kResolvConf[] = "/etc/resolv.conf";
constexpr size_t kMaxNameServers = 3;  // the C library reads no more

std::vector<std::string> Split(const std::string& text, const std::string& separators) {
  std::vector<std::string> parts;
  size_t start = text.find_first_not_of(separators);
  while (start != std::string::npos) {
    size_t end = text.find_first_of(separators, start);
    parts.push_back(text.substr(start, end == std::string::npos ? end : end - start));
    start = end == std::string::npos ? end : text.find_first_not_of(separators, end);
  }
  return parts;
}

std::string Join(const std::vector<std::string>& parts, const std::string& separator) {
  std::string out;
  for (const std::string& p : parts) out += (out.empty() ? "" : separator) + p;
  return out;
}

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

bool Run(const std::vector<std::string>& argv, std::string* out, std::string* err) {
  return platform::RunCommand(argv, out, err) == 0;
}

// Keeps undo for key, then runs change; false with a failed line in report otherwise.
bool ChangeWithUndo(ChangeJournal* journal, const std::string& key,
                    const std::vector<std::string>& undo, const std::vector<std::string>& change,
                    const std::string& what, RunReport* report) {
  if (journal != nullptr && journal->SaveCommand(key, undo) != 0) {
    report->failed.push_back(what + ": not changed (could not be kept for Restore)");
    return false;
  }
  std::string out;
  std::string err;
  if (!Run(change, &out, &err)) {
    report->failed.push_back(what + ": not changed (" + Trimmed(err) + ")");
    return false;
  }
  return true;
}

bool NetworkManagerRuns() {
  std::string out;
  std::string err;
  return Run({"nmcli", "-t", "-f", "RUNNING", "general"}, &out, &err) && Trimmed(out) == "running";
}

bool ResolvedManages() {
  char target[PATH_MAX];
  ssize_t n = readlink(kResolvConf, target, sizeof target - 1);
  if (n <= 0) return false;
  const std::string link(target, static_cast<size_t>(n));
  std::string out;
  std::string err;
  return link.find("systemd/resolve") != std::string::npos &&
         platform::RunCommand({"resolvectl", "--version"}, &out, &err) == 0;
}

// The active connection on device, from nmcli's terse "NAME:DEVICE" lines.
std::string ConnectionOn(const std::string& device) {
  std::string out;
  std::string err;
  if (!Run({"nmcli", "-t", "-f", "NAME,DEVICE", "connection", "show", "--active"}, &out, &err)) {
    return "";
  }
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    const size_t colon = line.rfind(':');
    if (colon == std::string::npos || line.substr(colon + 1) != device) continue;
    std::string name;
    for (size_t i = 0; i < colon; ++i) {
      if (line[i] == '\\' && i + 1 < colon) ++i;  // terse output escapes ':' and '\'
      name += line[i];
    }
    return name;
  }
  return "";
}

void ThroughNetworkManager(const std::string& gateway, const std::string& device,
                           ChangeJournal* journal, RunReport* report) {
  const std::string connection = ConnectionOn(device);
  const std::string what = "Name servers of connection \"" + connection + "\" (NetworkManager)";
  if (connection.empty()) {
    report->failed.push_back(
        "Name servers (NetworkManager): not changed (no active connection on " + device + ")");
    return;
  }
  std::string out;
  std::string err;
  if (!Run({"nmcli", "-g", "ipv4.dns", "connection", "show", connection}, &out, &err)) {
    report->failed.push_back(what + ": not read (" + Trimmed(err) + ")");
    return;
  }
  const std::string old = Trimmed(out);
  std::vector<std::string> servers = Split(old, ", ");
  if (!servers.empty() && servers.front() == gateway) {
    report->unchanged.push_back(what + ": already set");
    return;
  }
  std::vector<std::string> wanted{gateway};
  for (const std::string& s : servers) {
    if (s != gateway) wanted.push_back(s);
  }
  // Restore runs newest first: the old list goes back, then the device takes it up again.
  if (journal != nullptr && journal->SaveCommand("nmcli reapply " + device,
                                                 {"nmcli", "device", "reapply", device}) != 0) {
    report->failed.push_back(what + ": not changed (could not be kept for Restore)");
    return;
  }
  if (!ChangeWithUndo(journal, "nmcli dns " + connection,
                      {"nmcli", "connection", "modify", connection, "ipv4.dns", old},
                      {"nmcli", "connection", "modify", connection, "ipv4.dns", Join(wanted, ",")},
                      what, report)) {
    return;
  }
  if (!Run({"nmcli", "device", "reapply", device}, &out, &err)) {
    report->failed.push_back(what + ": stored, not yet in use (" + Trimmed(err) + ")");
    return;
  }
  report->changed.push_back(what + ": " + Join(wanted, " "));
}

void ThroughResolved(const std::string& gateway, const std::string& device, ChangeJournal* journal,
                     RunReport* report) {
  const std::string what = "Name servers of " + device + " (systemd-resolved)";
  std::string out;
  std::string err;
  if (!Run({"resolvectl", "dns", device}, &out, &err)) {
    report->failed.push_back(what + ": not read (" + Trimmed(err) + ")");
    return;
  }
  // "Link 2 (eth0): 10.0.0.5 10.0.0.6"
  const size_t colon = out.find("):");
  const std::vector<std::string> servers =
      colon == std::string::npos ? std::vector<std::string>{} : Split(out.substr(colon + 2), " \n");
  if (!servers.empty() && servers.front() == gateway) {
    report->unchanged.push_back(what + ": already set");
    return;
  }
  std::vector<std::string> undo{"resolvectl", "revert", device};
  if (!servers.empty()) {
    undo = {"resolvectl", "dns", device};
    undo.insert(undo.end(), servers.begin(), servers.end());
  }
  std::vector<std::string> wanted{gateway};
  for (const std::string& s : servers) {
    if (s != gateway) wanted.push_back(s);
  }
  std::vector<std::string> change{"resolvectl", "dns", device};
  change.insert(change.end(), wanted.begin(), wanted.end());
  if (ChangeWithUndo(journal, "resolvectl dns " + device, undo, change, what, report)) {
    report->changed.push_back(what + ": " + Join(wanted, " ") + " (until the next restart)");
  }
}

void InResolvConf(const std::string& gateway, ChangeJournal* journal, RunReport* report) {
  const std::string what = std::string("Name servers ") + kResolvConf;
  char target[PATH_MAX];
  ssize_t n = readlink(kResolvConf, target, sizeof target - 1);
  if (n > 0) {
    report->failed.push_back(what + ": not changed (it is a link to " +
                             std::string(target, static_cast<size_t>(n)) +
                             ", which a resolver program writes)");
    return;
  }
  std::string old;
  (void)ReadWholeText(kResolvConf, &old);
  std::string why;
  Note(report, WriteUndoably(journal, kResolvConf, ResolvConfWithGateway(old, gateway), &why), what,
       gateway + " first", why);
}

}  // namespace

std::vector<std::string> ResolvConfServers(const std::string& text) {
  std::vector<std::string> servers;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const std::vector<std::string> words = Split(line, " \t\r");
    if (words.size() >= 2 && words[0] == "nameserver") servers.push_back(words[1]);
  }
  return servers;
}

std::string ResolvConfWithGateway(const std::string& text, const std::string& gateway) {
  std::vector<std::string> servers{gateway};
  for (const std::string& s : ResolvConfServers(text)) {
    if (s != gateway && servers.size() < kMaxNameServers) servers.push_back(s);
  }
  std::string block;
  for (const std::string& s : servers) block += "nameserver " + s + "\n";
  std::string out;
  bool placed = false;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const std::vector<std::string> words = Split(line, " \t\r");
    if (!words.empty() && words[0] == "nameserver") {
      if (!placed) out += block;
      placed = true;
      continue;
    }
    out += line + "\n";
  }
  if (!placed) out += block;
  return out;
}

void SetDesktopNameServers(const std::string& gateway, ChangeJournal* journal, RunReport* report) {
  const bool network_manager = NetworkManagerRuns();
  if (network_manager || ResolvedManages()) {
    const std::string device = platform::RouteInterfaceFor(gateway);
    if (device.empty()) {
      report->failed.push_back("Name servers: not changed (no network interface leads to " +
                               gateway + ")");
    } else if (network_manager) {
      ThroughNetworkManager(gateway, device, journal, report);
    } else {
      ThroughResolved(gateway, device, journal, report);
    }
    return;
  }
  InResolvConf(gateway, journal, report);
}

}  // namespace clientsetup
