// Stand-ins for the OS version, the Windows and system directories and Windows paths.
// The version is the NT family 4.0 unless WAYFARER_WINVER=95 selects the 95 family.
// Pure functions of the environment; any thread.
#pragma once

#include <string>

namespace platform {

inline constexpr int kPlatformWin95Family = 1;
inline constexpr int kPlatformWinNt = 2;

struct OsVersion {
  int platform_id = kPlatformWinNt;
  int major = 4;
  int minor = 0;
  int build = 1381;
};

[[nodiscard]] OsVersion GetOsVersion();
[[nodiscard]] bool IsWin95Family();

// $WAYFARER_WINDIR, default $XDG_DATA_HOME/wayfarer/windows (~/.local/share/...).
[[nodiscard]] std::string WindowsDirectory();
// WindowsDirectory()/system32.
[[nodiscard]] std::string SystemDirectory();
// $WAYFARER_HOSTS when set; else /etc/hosts on the NT family, WindowsDirectory()/hosts on 95.
[[nodiscard]] std::string HostsFilePath();
// The directory of the running executable ("" when unknown).
[[nodiscard]] std::string ProgramDirectory();
// A Windows path with its backslashes turned into the directory separator.
[[nodiscard]] std::string NativePath(const std::string& windows_path);
// Creates dir and its parents (mode 0755); true when it exists afterwards.
bool MakeDirectories(const std::string& dir);

}  // namespace platform
