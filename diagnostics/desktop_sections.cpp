// Reads of /etc/os-release, uname, resolvectl or /etc/resolv.conf, xdg-settings, profiles.ini
// with prefs.js and user.js, gsettings, and the environment files.
#include "diagnostics/desktop_sections.h"

#include <sys/utsname.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <vector>

#include "platform/registry.h"
#include "platform/run_command.h"

namespace diagnostics {
namespace {

constexpr char kWorkstationKey[] =
    "Software\\Wayfarer Computer Products Ltd.\\Wayfarer\\2.0\\Workstation";

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

std::string Unquoted(std::string text) {
  if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') &&
      text.back() == text.front()) {
    text = text.substr(1, text.size() - 2);
  }
  return text;
}

std::string Home() {
  const char* home = std::getenv("HOME");
  return home != nullptr ? home : "";
}

std::string Verdict(const GatewayNames& g, const std::string& host) {
  if (g.name.empty()) return "(no gateway stored)";
  return host == g.name || (!g.address.empty() && host == g.address) ? "yes" : "no";
}

// Firefox's network.proxy.type values.
std::string ProxyTypeText(const std::string& type) {
  if (type == "0") return "none";
  if (type == "1") return "manual";
  if (type == "2") return "automatic configuration";
  if (type == "4") return "auto-detect";
  if (type == "5") return "system";
  return type;
}

// Later definitions win, as the programs read them (prefs.js, then user.js).
std::map<std::string, std::string> ReadPrefs(const std::string& dir) {
  std::map<std::string, std::string> prefs;
  for (const char* file : {"/prefs.js", "/user.js"}) {
    std::istringstream lines(ReadAll(dir + file));
    // One preference a line: user_pref("name", value);
    for (std::string line; std::getline(lines, line);) {
      const size_t start = line.find("user_pref(\"");
      const size_t name_end = start == std::string::npos ? start : line.find('"', start + 11);
      const size_t comma = name_end == std::string::npos ? name_end : line.find(',', name_end);
      const size_t close = line.rfind(");");
      if (comma == std::string::npos || close == std::string::npos || close < comma) continue;
      std::string value = line.substr(comma + 1, close - comma - 1);
      value.erase(0, value.find_first_not_of(" \t"));
      prefs[line.substr(start + 11, name_end - start - 11)] = Unquoted(Trimmed(value));
    }
  }
  return prefs;
}

void WriteFirefox(ReportWriter& w, const GatewayNames& g) {
  const std::string app = Home() + "/.mozilla/firefox";
  std::istringstream ini(ReadAll(app + "/profiles.ini"));
  std::map<std::string, std::string> section;
  std::vector<std::pair<std::string, std::string>> profiles;
  auto finish = [&] {
    if (!section["Path"].empty()) {
      const std::string& p = section["Path"];
      profiles.push_back({section["Name"], section["IsRelative"] != "0" ? app + "/" + p : p});
    }
    section.clear();
  };
  for (std::string line; std::getline(ini, line);) {
    if (!line.empty() && line[0] == '[') finish();
    const size_t eq = line.find('=');
    if (eq != std::string::npos) section[line.substr(0, eq)] = Trimmed(line.substr(eq + 1));
  }
  finish();
  if (profiles.empty()) w.WriteField("Firefox", "no profiles");
  for (const auto& [name, dir] : profiles) {
    std::map<std::string, std::string> prefs = ReadPrefs(dir);
    const std::string type = prefs.count("network.proxy.type") ? prefs["network.proxy.type"] : "5";
    w.WriteField("Firefox profile", name);
    w.WriteField("  Proxy type", ProxyTypeText(type));
    w.WriteField("  Http Proxy",
                 prefs["network.proxy.http"] + ":" + prefs["network.proxy.http_port"]);
    w.WriteField("  SSL Proxy", prefs["network.proxy.ssl"] + ":" + prefs["network.proxy.ssl_port"]);
    w.WriteField("  Socks Proxy",
                 prefs["network.proxy.socks"] + ":" + prefs["network.proxy.socks_port"]);
    w.WriteField("  Uses the gateway",
                 type == "1" ? Verdict(g, prefs["network.proxy.http"]) : "no");
  }
}

void WriteGnome(ReportWriter& w, const GatewayNames& g) {
  std::string mode;
  if (platform::RunCommand({"gsettings", "get", "org.gnome.system.proxy", "mode"}, &mode) != 0) {
    w.WriteField("GNOME proxy", "no GNOME settings");
    return;
  }
  std::string host;
  std::string port;
  (void)platform::RunCommand({"gsettings", "get", "org.gnome.system.proxy.http", "host"}, &host);
  (void)platform::RunCommand({"gsettings", "get", "org.gnome.system.proxy.http", "port"}, &port);
  mode = Unquoted(Trimmed(mode));
  host = Unquoted(Trimmed(host));
  w.WriteField("GNOME proxy", mode);
  w.WriteField("  Http Proxy", host + ":" + Trimmed(port));
  w.WriteField("  Uses the gateway", mode == "manual" ? Verdict(g, host) : "no");
}

// The host of an http_proxy URL.
std::string UrlHost(std::string url) {
  url = Unquoted(url);
  const size_t scheme = url.find("://");
  if (scheme != std::string::npos) url = url.substr(scheme + 3);
  return url.substr(0, url.find_first_of(":/"));
}

void WriteEnvironment(ReportWriter& w, const GatewayNames& g) {
  const std::vector<std::pair<std::string, std::string>> sources = {
      {"/etc/environment", ReadAll("/etc/environment")},
      {"environment.d", ReadAll(Home() + "/.config/environment.d/60-wayfarer-proxy.conf")}};
  for (const auto& [label, text] : sources) {
    std::istringstream lines(text);
    std::string value;
    for (std::string line; std::getline(lines, line);) {
      if (line.rfind("export ", 0) == 0) line = line.substr(7);
      if (line.rfind("http_proxy=", 0) == 0) value = line.substr(11);
    }
    w.WriteField("http_proxy in " + label, value.empty() ? "not set" : value);
    if (!value.empty()) w.WriteField("  Uses the gateway", Verdict(g, UrlHost(value)));
  }
  const char* own = std::getenv("http_proxy");
  w.WriteField("http_proxy now", own != nullptr ? own : "not set");
}

}  // namespace

GatewayNames StoredGateway() {
  GatewayNames g;
  platform::RegKey key;
  if (platform::RegOpenKey(platform::Hive::kCurrentUser, kWorkstationKey, &key) != 0) return g;
  (void)platform::RegQueryString(key, "Gateway Name", &g.name);
  (void)platform::RegQueryString(key, "Gateway Address", &g.address);
  platform::RegCloseKey(key);
  return g;
}

void WriteOsReleaseLines(ReportWriter& w) {
  std::istringstream lines(ReadAll("/etc/os-release"));
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("PRETTY_NAME=", 0) == 0) w.Write("Linux is " + Unquoted(line.substr(12)) + "\n");
  }
  utsname u{};
  if (uname(&u) == 0) w.Write(std::string("Kernel is ") + u.sysname + " " + u.release + "\n");
}

void WriteNameServersInUse(ReportWriter& w, const GatewayNames& g) {
  std::vector<std::string> servers;
  std::string out;
  std::string source = "/etc/resolv.conf";
  if (platform::RunCommand({"resolvectl", "dns"}, &out) == 0) {
    source = "resolvectl";
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
      const size_t colon = line.find("):");
      std::istringstream words(colon == std::string::npos ? "" : line.substr(colon + 2));
      for (std::string s; words >> s;) servers.push_back(s);
    }
  } else {
    std::istringstream lines(ReadAll("/etc/resolv.conf"));
    for (std::string line; std::getline(lines, line);) {
      std::istringstream words(line);
      std::string keyword;
      std::string server;
      if (words >> keyword >> server && keyword == "nameserver") servers.push_back(server);
    }
  }
  std::string joined;
  for (const std::string& s : servers) joined += (joined.empty() ? "" : " ") + s;
  w.WriteField("Name servers in use", joined + " (" + source + ")");
  w.WriteField("Gateway first", g.address.empty() ? "(no gateway stored)"
                                : !servers.empty() && servers.front() == g.address ? "yes"
                                                                                   : "no");
}

void WriteDesktopBrowser(ReportWriter& w) {
  std::string out;
  const int rc = platform::RunCommand({"xdg-settings", "get", "default-web-browser"}, &out);
  w.WriteField("xdg-settings browser", rc == 0 ? Trimmed(out) : "unknown (no xdg-settings answer)");
}

void WriteDesktopProxySection(ReportWriter& w, const GatewayNames& g) {
  w.Write("SECTION : Desktop Proxies\n");
  w.WriteField("Gateway", g.name.empty() ? "(none stored)" : g.name + " " + g.address);
  WriteFirefox(w, g);
  WriteGnome(w, g);
  WriteEnvironment(w, g);
  w.Write("\n\n");
}

}  // namespace diagnostics
