// Environment files and APT's configuration fragment.
#include "clientsetup/proxy_environment.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/os_info.h"

namespace clientsetup {
namespace {

constexpr const char* kVariables[] = {"http_proxy", "https_proxy", "ftp_proxy", "no_proxy"};

std::string ProxyUrl(const SetupSettings& s) { return "http://" + s.GatewayName + ":80/"; }

bool IsProxyVariableLine(const std::string& line) {
  size_t start = line.find_first_not_of(" \t");
  if (start == std::string::npos) return false;
  if (line.compare(start, 7, "export ") == 0) start = line.find_first_not_of(" \t", start + 7);
  for (const char* name : kVariables) {
    const std::string prefix = std::string(name) + "=";
    if (line.compare(start, prefix.size(), prefix) == 0) return true;
  }
  return false;
}

}  // namespace

std::vector<std::string> ProxyVariableLines(const SetupSettings& s, const std::string& lan) {
  const std::string url = ProxyUrl(s);
  std::string no_proxy = "localhost,127.0.0.1,::1";
  if (!lan.empty()) no_proxy += "," + lan;
  return {"http_proxy=" + url + "\n", "https_proxy=" + url + "\n", "ftp_proxy=" + url + "\n",
          "no_proxy=" + no_proxy + "\n"};
}

std::string MergeEnvironment(const std::string& old, const std::vector<std::string>& lines) {
  std::string out;
  size_t start = 0;
  while (start < old.size()) {
    size_t end = old.find('\n', start);
    end = end == std::string::npos ? old.size() : end + 1;
    std::string line = old.substr(start, end - start);
    start = end;
    if (IsProxyVariableLine(line)) continue;
    if (line.back() != '\n') line += '\n';
    out += line;
  }
  for (const std::string& line : lines) out += line;
  return out;
}

std::string AptProxyText(const SetupSettings& s) {
  const std::string url = ProxyUrl(s);
  // The gateway closes each client connection after one response: APT must not pipeline.
  return "Acquire::http::Proxy \"" + url + "\";\n" + "Acquire::https::Proxy \"" + url + "\";\n" +
         "Acquire::http::Pipeline-Depth \"0\";\n";
}

void ConfigureProxyEnvironment(const SetupSettings& s, const std::string& lan,
                               ChangeJournal* journal, RunReport* report) {
  const std::vector<std::string> lines = ProxyVariableLines(s, lan);
  const char* home = std::getenv("HOME");
  const std::string user_file = std::string(home != nullptr ? home : "") + kEnvironmentDFile;
  std::string why;
  const std::string user_dir = user_file.substr(0, user_file.rfind('/'));
  FileWrite result = FileWrite::kFailed;
  why = "its folder cannot be made";
  if (platform::MakeDirectories(user_dir)) {
    std::string old;
    (void)ReadWholeText(user_file, &old);
    result = WriteUndoably(journal, user_file, MergeEnvironment(old, lines), &why);
  }
  Note(report, result, "Proxy variables " + user_file, "set for your next log-in", why);

  if (geteuid() != 0) {
    report->unchanged.push_back(
        "Proxy variables /etc/environment and APT: for all users only when run as root");
    return;
  }
  std::string old;
  (void)ReadWholeText("/etc/environment", &old);
  Note(report, WriteUndoably(journal, "/etc/environment", MergeEnvironment(old, lines), &why),
       "Proxy variables /etc/environment", "set for every user's next log-in", why);
  struct stat st {};
  if (stat("/etc/apt/apt.conf.d", &st) != 0 || !S_ISDIR(st.st_mode)) {
    report->unchanged.push_back("APT: not installed");
    return;
  }
  Note(report, WriteUndoably(journal, kAptProxyFile, AptProxyText(s), &why),
       std::string("APT proxy ") + kAptProxyFile, "set", why);
}

}  // namespace clientsetup
