// Environment-driven answers to "which Windows is this" and "where are its directories".
#include "platform/os_info.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>

namespace platform {
namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

std::string HomeSubdir(const char* xdg_var, const char* fallback) {
  std::string base = Env(xdg_var);
  if (base.empty()) base = Env("HOME") + fallback;
  return base;
}

}  // namespace

OsVersion GetOsVersion() {
  OsVersion v;
  if (Env("WAYFARER_WINVER") == "95") {
    v.platform_id = kPlatformWin95Family;
    v.build = 950;
  }
  return v;
}

bool IsWin95Family() { return GetOsVersion().platform_id == kPlatformWin95Family; }

std::string WindowsDirectory() {
  std::string dir = Env("WAYFARER_WINDIR");
  if (!dir.empty()) return dir;
  return HomeSubdir("XDG_DATA_HOME", "/.local/share") + "/wayfarer/windows";
}

std::string SystemDirectory() { return WindowsDirectory() + "/system32"; }

std::string HostsFilePath() {
  std::string path = Env("WAYFARER_HOSTS");
  if (!path.empty()) return path;
  return IsWin95Family() ? WindowsDirectory() + "/hosts" : "/etc/hosts";
}

std::string ProgramDirectory() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "";
  std::string path(buf, static_cast<size_t>(n));
  return path.substr(0, path.rfind('/'));
}

std::string NativePath(const std::string& windows_path) {
  std::string path = windows_path;
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

bool MakeDirectories(const std::string& dir) {
  if (dir.empty()) return false;
  for (size_t pos = 1; pos <= dir.size(); ++pos) {
    if (pos == dir.size() || dir[pos] == '/') {
      std::string part = dir.substr(0, pos);
      if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
  }
  struct stat st {};
  return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace platform
