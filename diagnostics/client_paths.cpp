// Registry look-ups of the client programs' settings files.
#include "diagnostics/client_paths.h"

#include "diagnostics/registry_text.h"
#include "platform/os_info.h"

namespace diagnostics {
namespace {

constexpr uint32_t kCommandLineBuffer = 200;

}  // namespace

long NetscapePrefsPath(std::string* path) {
  using platform::Hive;
  std::string user;
  long rc = ReadText(Hive::kLocalMachine, kNetscapeUsersKey, "CurrentUser", &user);
  if (rc != platform::kErrorSuccess) return rc;
  std::string dir;
  rc = ReadText(Hive::kLocalMachine, std::string(kNetscapeUsersKey) + "\\" + user, "DirRoot", &dir);
  if (rc != platform::kErrorSuccess) return rc;
  *path = platform::NativePath(dir + "\\" + "Prefs.js");
  return platform::kErrorSuccess;
}

long EudoraIniPath(std::string* path) {
  std::string command_line;
  long rc = ReadText(platform::Hive::kCurrentUser, kEudoraCommandLineKey, "current", &command_line,
                     kCommandLineBuffer);
  if (rc != platform::kErrorSuccess) return rc;
  std::string last;
  size_t start = 0;
  while (start < command_line.size()) {
    size_t end = command_line.find(' ', start);
    if (end == std::string::npos) end = command_line.size();
    if (end > start) last = command_line.substr(start, end - start);
    start = end + 1;
  }
  *path = platform::NativePath(last);
  return platform::kErrorSuccess;
}

}  // namespace diagnostics
