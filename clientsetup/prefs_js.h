// Netscape Communicator's "Prefs.js": where the current user's file is, the line format of its
// preferences, and the rewrite that drops a set of preferences and appends their new lines.
// Used only by the GUI thread (the file procedure shows a message).
#pragma once

#include <string>
#include <vector>

#include "clientsetup/setup_settings.h"

namespace clientsetup {

// user_pref("name", 80); from the prefix "user_pref(\"name\", " and the number.
[[nodiscard]] std::string NumberPrefLine(const std::string& prefix, int value);
// user_pref("name", "text"); from the prefix "user_pref(\"name\", \"" and the text.
[[nodiscard]] std::string TextPrefLine(const std::string& prefix, const std::string& value);

struct PrefsRewrite {
  std::vector<std::string> removed_texts;  // a line containing any of these is dropped
  std::vector<std::string> appended_lines;  // then these are appended, each with its '\n'
};

// The proxy preferences of Communicator (nine lines) and its mail preferences (five lines).
[[nodiscard]] PrefsRewrite CommunicatorProxyPrefs(const SetupSettings& settings);
[[nodiscard]] PrefsRewrite CommunicatorMailPrefs(const SetupSettings& settings);

// The new text of Prefs.js for its old lines. Lines are whole, so a long line survives intact;
// a last line without '\n' gets one before the appended lines.
[[nodiscard]] std::string RewritePrefsLines(const std::vector<std::string>& lines,
                                            const PrefsRewrite& rewrite);

// Finds the current user's Prefs.js through HKLM "Software\Netscape\Netscape Navigator\Users":
// value "CurrentUser", then that user's key, value "DirRoot", + "/Prefs.js". Returns 0, or the
// registry error code of the first read that fails.
[[nodiscard]] long NetscapePrefsPath(std::string* path);

// The file procedure: copy Prefs.js to "TempFile" (string 108 when that fails or the path is
// unknown), write the rewritten version in its place, delete "TempFile". 0 or -1.
int RewritePrefsFile(const PrefsRewrite& rewrite);

}  // namespace clientsetup
