// profiles.ini, the profile lock and the user.js merge.
#include "clientsetup/mozilla_profiles.h"

#include <fcntl.h>
#include <signal.h>
#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <map>

#include "clientsetup/scratch_file.h"

namespace clientsetup {
namespace {

constexpr int kWebPort = 80;
constexpr int kSocksPort = 1080;

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) {
    text.pop_back();
  }
  return text;
}

bool LockLinkIsLive(const std::string& dir) {
  char target[256];
  ssize_t n = readlink((dir + "/lock").c_str(), target, sizeof target - 1);
  if (n <= 0) return false;
  std::string text(target, static_cast<size_t>(n));
  size_t plus = text.rfind('+');
  if (plus == std::string::npos) return true;  // a lock we cannot read is taken as held
  const long pid = std::strtol(text.c_str() + plus + 1, nullptr, 10);
  return pid > 0 && (kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM);
}

bool ParentLockHeld(const std::string& dir) {
  int fd = open((dir + "/.parentlock").c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return false;
  struct flock probe {};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  const bool held = fcntl(fd, F_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
  close(fd);
  return held;
}

std::string Lookup(const std::vector<Pref>& prefs, const std::string& name) {
  std::string value;
  for (const Pref& p : prefs) {
    if (p.first == name) value = p.second;
  }
  return value;
}

// One program's profiles: each gets prefs, and with mail the POP3 accounts of its prefs.js.
void ConfigureProgram(const std::string& program, const std::string& app_dir,
                      const std::vector<Pref>& prefs, const SetupSettings& settings, bool mail,
                      ChangeJournal* journal, RunReport* report) {
  const std::vector<MozillaProfile> profiles = ReadProfiles(app_dir);
  if (profiles.empty()) {
    report->unchanged.push_back(program + ": not installed for this user (no profiles)");
    return;
  }
  for (const MozillaProfile& profile : profiles) {
    const std::string what = program + " profile \"" + profile.name + "\"";
    if (ProfileInUse(profile.dir)) {
      report->failed.push_back(what + ": not changed (in use by a running " + program +
                               "; close it and run again)");
      continue;
    }
    std::vector<Pref> all = prefs;
    std::string done = "proxy set in user.js";
    if (mail) {
      std::string prefs_js;
      (void)ReadWholeText(profile.dir + "/prefs.js", &prefs_js);
      const std::vector<Pref> accounts = MailPrefs(settings, prefs_js);
      if (!accounts.empty()) done = "proxy and POP3 account set in user.js";
      all.insert(all.end(), accounts.begin(), accounts.end());
    }
    std::string old;
    (void)ReadWholeText(profile.dir + "/user.js", &old);
    std::string why;
    Note(report, WriteUndoably(journal, profile.dir + "/user.js", MergeUserJs(old, all), &why),
         what, done, why);
  }
}

}  // namespace

std::vector<MozillaProfile> ReadProfiles(const std::string& app_dir) {
  std::vector<MozillaProfile> profiles;
  std::vector<std::string> lines;
  if (!ReadTextLines(app_dir + "/profiles.ini", &lines)) return profiles;
  std::map<std::string, std::string> section;
  bool in_profile = false;
  auto finish = [&] {
    if (in_profile && !section["Path"].empty()) {
      const std::string& path = section["Path"];
      const bool relative = section["IsRelative"] != "0";
      const std::string name = section["Name"].empty() ? path : section["Name"];
      profiles.push_back({name, relative ? app_dir + "/" + path : path});
    }
    section.clear();
  };
  for (const std::string& raw : lines) {
    const std::string line = Trimmed(raw);
    if (!line.empty() && line[0] == '[') {
      finish();
      in_profile = line.rfind("[Profile", 0) == 0;
      continue;
    }
    const size_t eq = line.find('=');
    if (eq != std::string::npos) section[line.substr(0, eq)] = line.substr(eq + 1);
  }
  finish();
  return profiles;
}

bool ProfileInUse(const std::string& dir) { return LockLinkIsLive(dir) || ParentLockHeld(dir); }

std::vector<Pref> ProxyPrefs(const SetupSettings& s, const std::string& lan) {
  const std::string host = Quoted(s.GatewayName);
  return {
      {"network.proxy.type", "1"},
      {"network.proxy.http", host},
      {"network.proxy.http_port", std::to_string(kWebPort)},
      {"network.proxy.ssl", host},
      {"network.proxy.ssl_port", std::to_string(kWebPort)},
      {"network.proxy.socks", host},
      {"network.proxy.socks_port", std::to_string(kSocksPort)},
      {"network.proxy.socks_version", "4"},
      {"network.proxy.no_proxies_on",
       Quoted("localhost, 127.0.0.1, ::1" + (lan.empty() ? std::string() : ", " + lan))},
  };
}

std::vector<Pref> ParsePrefs(const std::string& text) {
  std::vector<Pref> prefs;
  const std::string call = "user_pref(";
  for (size_t at = text.find(call); at != std::string::npos; at = text.find(call, at + 1)) {
    const size_t name_start = text.find_first_not_of(" \t", at + call.size());
    if (name_start == std::string::npos || text[name_start] != '"') continue;
    const size_t name_end = text.find('"', name_start + 1);
    if (name_end == std::string::npos) break;
    size_t pos = text.find_first_not_of(" \t", name_end + 1);
    if (pos == std::string::npos || text[pos] != ',') continue;
    pos = text.find_first_not_of(" \t", pos + 1);
    if (pos == std::string::npos) break;
    size_t value_end = pos;
    if (text[pos] == '"') {
      // A text value ends at its closing quote; \" and \\ inside it are escapes.
      for (value_end = pos + 1; value_end < text.size() && text[value_end] != '"'; ++value_end) {
        if (text[value_end] == '\\') ++value_end;
      }
      if (value_end >= text.size()) break;
      ++value_end;
    } else {
      value_end = text.find_first_of(") \t", pos);
      if (value_end == std::string::npos) break;
    }
    prefs.push_back({text.substr(name_start + 1, name_end - name_start - 1),
                     text.substr(pos, value_end - pos)});
  }
  return prefs;
}

std::string PrefText(const std::string& written) {
  if (written.size() < 2 || written.front() != '"' || written.back() != '"') return written;
  std::string out;
  for (size_t i = 1; i + 1 < written.size(); ++i) {
    if (written[i] == '\\' && i + 2 < written.size()) ++i;
    out += written[i];
  }
  return out;
}

std::vector<Pref> MailPrefs(const SetupSettings& s, const std::string& prefs_js) {
  std::vector<Pref> out;
  if (s.UserName.empty() || s.Pop3Server.empty()) return out;
  const std::vector<Pref> prefs = ParsePrefs(prefs_js);
  const std::string head = "mail.server.server";
  const std::string tail = ".type";
  for (const Pref& p : prefs) {
    const std::string& name = p.first;
    if (name.size() <= head.size() + tail.size() || name.rfind(head, 0) != 0 ||
        name.compare(name.size() - tail.size(), tail.size(), tail) != 0 ||
        name.find_first_not_of("0123456789", head.size()) != name.size() - tail.size() ||
        PrefText(p.second) != "pop3") {
      continue;
    }
    const std::string base = name.substr(0, name.size() - tail.size() + 1);
    const std::string host = PrefText(Lookup(prefs, base + "hostname"));
    const std::string user = PrefText(Lookup(prefs, base + "userName"));
    const bool named = strcasecmp(host.c_str(), s.Pop3Server.c_str()) == 0 && user == s.UserName;
    const bool done_before =
        strcasecmp(host.c_str(), s.GatewayName.c_str()) == 0 && user == PopAccountName(s);
    if (!named && !done_before) continue;
    out.push_back({base + "hostname", Quoted(s.GatewayName)});
    out.push_back({base + "userName", Quoted(PopAccountName(s))});
  }
  return out;
}

std::string MergeUserJs(const std::string& old_user_js, const std::vector<Pref>& prefs) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < old_user_js.size()) {
    size_t end = old_user_js.find('\n', start);
    end = end == std::string::npos ? old_user_js.size() : end + 1;
    lines.push_back(old_user_js.substr(start, end - start));
    start = end;
  }
  std::string out;
  for (const std::string& line : lines) {
    bool ours = false;
    for (const Pref& p : prefs) {
      if (line.find("\"" + p.first + "\"") != std::string::npos) ours = true;
    }
    if (ours) continue;
    out += line;
    if (out.back() != '\n') out += '\n';
  }
  for (const Pref& p : prefs) {
    out += "user_pref(\"" + p.first + "\", " + p.second + ");\n";
  }
  return out;
}

void ConfigureMozillaClients(const SetupSettings& settings, const std::string& lan,
                             ChangeJournal* journal, RunReport* report) {
  const char* home_env = std::getenv("HOME");
  const std::string home = home_env != nullptr ? home_env : "";
  const std::vector<Pref> prefs = ProxyPrefs(settings, lan);
  ConfigureProgram("Firefox", home + "/.mozilla/firefox", prefs, settings, false, journal, report);
  ConfigureProgram("Thunderbird", home + "/.thunderbird", prefs, settings, true, journal, report);
}

}  // namespace clientsetup
