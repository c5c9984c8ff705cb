// Firefox and Thunderbird as they run today: every profile listed in the program's
// profiles.ini gets the gateway's proxies (and, for Thunderbird, the POP3 accounts named in the
// settings) in its user.js, which the program reads at start over its own prefs.js. A profile
// that a running program holds is left alone. Used only by the GUI thread.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "clientsetup/desktop_change.h"
#include "clientsetup/setup_settings.h"

namespace clientsetup {

struct MozillaProfile {
  std::string name;
  std::string dir;
};

// A preference as user.js writes it: its name and its value as written (a number, or a text in
// quotes).
using Pref = std::pair<std::string, std::string>;

// The profiles of profiles.ini in app_dir (relative paths taken from app_dir); none when the
// file is missing.
[[nodiscard]] std::vector<MozillaProfile> ReadProfiles(const std::string& app_dir);
// True while a running program holds the profile (its lock link names a live process, or
// another process holds the lock on ".parentlock").
[[nodiscard]] bool ProfileInUse(const std::string& dir);

// The proxy preferences pointing at the gateway; lan is the LAN's network ("a.b.c.d/len").
[[nodiscard]] std::vector<Pref> ProxyPrefs(const SetupSettings& settings, const std::string& lan);
// The POP3 account preferences for the accounts of prefs_js that the settings name (host
// Pop3Server with user UserName, or already the gateway with the POP account name).
[[nodiscard]] std::vector<Pref> MailPrefs(const SetupSettings& settings,
                                          const std::string& prefs_js);
// old_user_js without its lines for any of prefs, and the lines of prefs appended in order.
[[nodiscard]] std::string MergeUserJs(const std::string& old_user_js,
                                      const std::vector<Pref>& prefs);
// The prefs.js/user.js preferences of text, in file order; later ones win in the lookup.
[[nodiscard]] std::vector<Pref> ParsePrefs(const std::string& text);
// The text value of a quoted preference value ("" quotes removed, escapes undone).
[[nodiscard]] std::string PrefText(const std::string& written);

// Firefox ($HOME/.mozilla/firefox) and Thunderbird ($HOME/.thunderbird), each where installed;
// lan as for ProxyPrefs.
void ConfigureMozillaClients(const SetupSettings& settings, const std::string& lan,
                             ChangeJournal* journal, RunReport* report);

}  // namespace clientsetup
