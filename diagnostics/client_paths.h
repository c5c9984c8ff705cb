// Where the client programs keep their settings files, found through the registry the way the
// client setup utility finds them: the Communicator Prefs.js and the Eudora INI file.
// Any thread.
#pragma once

#include <string>

namespace diagnostics {

inline constexpr char kNetscapeUsersKey[] = "Software\\Netscape\\Netscape Navigator\\Users";
inline constexpr char kEudoraCommandLineKey[] = "Software\\Qualcomm\\Eudora\\CommandLine";

// The current Communicator user's Prefs.js: HKLM Users "CurrentUser", then that user's key
// "DirRoot" + "\Prefs.js", as a native path. 0, or the error code of the first failing read.
[[nodiscard]] long NetscapePrefsPath(std::string* path);

// The Eudora INI file: the last blank-separated piece of HKCU CommandLine "current" (the
// command line Eudora was last started with, at most 200 bytes), as a native path.
// 0, or the registry error code.
[[nodiscard]] long EudoraIniPath(std::string* path);

}  // namespace diagnostics
