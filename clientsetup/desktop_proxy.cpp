// gsettings commands, each kept with its undo; kioslaverc as an INI file.
#include "clientsetup/desktop_proxy.h"

#include <cstdlib>

#include "platform/run_command.h"

namespace clientsetup {
namespace {

constexpr char kProxySchema[] = "org.gnome.system.proxy";

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

void ConfigureGnome(const SetupSettings& s, const std::string& lan, ChangeJournal* journal,
                    RunReport* report) {
  std::string schemas;
  if (platform::RunCommand({"gsettings", "list-schemas"}, &schemas) != 0 ||
      schemas.find(std::string(kProxySchema) + "\n") == std::string::npos) {
    report->unchanged.push_back("GNOME proxy: no GNOME settings on this machine");
    return;
  }
  int changed = 0;
  for (const GnomeSetting& g : GnomeProxySettings(s, lan)) {
    std::string old;
    std::string err;
    if (platform::RunCommand({"gsettings", "get", g.schema, g.key}, &old, &err) != 0) {
      report->failed.push_back("GNOME proxy " + g.schema + " " + g.key + ": not read (" +
                               Trimmed(err) + ")");
      return;
    }
    old = Trimmed(old);
    if (old == g.value) continue;
    if (journal != nullptr &&
        journal->SaveCommand("gsettings " + g.schema + " " + g.key,
                             {"gsettings", "set", g.schema, g.key, old}) != 0) {
      report->failed.push_back(
          "GNOME proxy: not changed (its settings could not be kept for "
          "Restore)");
      return;
    }
    std::string out;
    if (platform::RunCommand({"gsettings", "set", g.schema, g.key, g.value}, &out, &err) != 0) {
      report->failed.push_back("GNOME proxy " + g.schema + " " + g.key + ": not changed (" +
                               Trimmed(err) + ")");
      return;
    }
    ++changed;
  }
  std::string mode;
  std::string err;
  // Without a settings service in this session gsettings keeps its values in memory only:
  // a fresh gsettings then still reads the old mode.
  if (platform::RunCommand({"gsettings", "get", kProxySchema, "mode"}, &mode, &err) != 0 ||
      Trimmed(mode) != "'manual'") {
    report->failed.push_back("GNOME proxy: not saved (no settings service in this session)");
  } else if (changed == 0) {
    report->unchanged.push_back("GNOME proxy: already set");
  } else {
    report->changed.push_back("GNOME proxy: set to manual, the gateway's ports");
  }
}

void ConfigureKde(const SetupSettings& s, const std::string& lan, ChangeJournal* journal,
                  RunReport* report) {
  const char* home = std::getenv("HOME");
  const std::string path = std::string(home != nullptr ? home : "") + "/.config/kioslaverc";
  std::string old;
  if (!ReadWholeText(path, &old)) return;  // no KDE settings of this user
  const std::string web = "http://" + s.GatewayName + " 80";
  std::string no_proxy = "localhost,127.0.0.1,::1";
  if (!lan.empty()) no_proxy += "," + lan;
  const std::string text = SetIniKeys(old, "Proxy Settings",
                                      {{"ProxyType", "1"},
                                       {"httpProxy", web},
                                       {"httpsProxy", web},
                                       {"socksProxy", "socks://" + s.GatewayName + " 1080"},
                                       {"NoProxyFor", no_proxy}});
  std::string why;
  Note(report, WriteUndoably(journal, path, text, &why), "KDE proxy " + path,
       "set to manual, the gateway's ports", why);
}

}  // namespace

std::vector<GnomeSetting> GnomeProxySettings(const SetupSettings& s, const std::string& lan) {
  const std::string host = Quoted(s.GatewayName);
  std::string ignore = "['localhost', '127.0.0.0/8', '::1'";
  if (!lan.empty()) ignore += ", " + Quoted(lan);
  ignore += "]";
  const std::string schema = kProxySchema;
  return {
      {schema + ".http", "host", host},  {schema + ".http", "port", "80"},
      {schema + ".https", "host", host}, {schema + ".https", "port", "80"},
      {schema + ".socks", "host", host}, {schema + ".socks", "port", "1080"},
      {schema, "ignore-hosts", ignore},  {schema, "mode", "'manual'"},
  };
}

std::string SetIniKeys(const std::string& text, const std::string& section,
                       const std::vector<std::pair<std::string, std::string>>& keys) {
  std::vector<bool> written(keys.size(), false);
  const std::string header = "[" + section + "]";
  std::string out;
  bool inside = false;
  bool seen = false;
  auto add_missing = [&] {
    for (size_t i = 0; i < keys.size(); ++i) {
      if (!written[i]) out += keys[i].first + "=" + keys[i].second + "\n";
      written[i] = true;
    }
  };
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    end = end == std::string::npos ? text.size() : end + 1;
    std::string line = text.substr(start, end - start);
    start = end;
    if (line.back() != '\n') line += '\n';
    if (line[0] == '[') {
      if (inside) add_missing();
      inside = line.compare(0, header.size(), header) == 0;
      seen = seen || inside;
    } else if (inside) {
      for (size_t i = 0; i < keys.size(); ++i) {
        if (line.compare(0, keys[i].first.size() + 1, keys[i].first + "=") == 0) {
          line = written[i] ? "" : keys[i].first + "=" + keys[i].second + "\n";
          written[i] = true;
        }
      }
    }
    out += line;
  }
  if (!seen) {
    if (!out.empty()) out += "\n";
    out += header + "\n";
  }
  add_missing();
  return out;
}

void ConfigureDesktopProxy(const SetupSettings& s, const std::string& lan, ChangeJournal* journal,
                           RunReport* report) {
  ConfigureGnome(s, lan, journal, report);
  ConfigureKde(s, lan, journal, report);
}

}  // namespace clientsetup
