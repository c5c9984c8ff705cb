// The desktop's own proxy setting, which Chromium, Chrome and the desktop's programs follow:
// GNOME's system proxy through gsettings when GNOME's settings exist, KDE's kioslaverc when the
// user has one. Used only by the GUI thread.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "clientsetup/desktop_change.h"
#include "clientsetup/setup_settings.h"

namespace clientsetup {

struct GnomeSetting {
  std::string schema;
  std::string key;
  std::string value;  // as gsettings prints it
};

// The GNOME proxy settings pointing at the gateway (manual mode).
[[nodiscard]] std::vector<GnomeSetting> GnomeProxySettings(const SetupSettings& settings,
                                                           const std::string& lan);
// text (an INI file) with each of keys set in section: a key's line replaced where it is, else
// added at the end of the section; the section added at the end when missing.
[[nodiscard]] std::string SetIniKeys(const std::string& text, const std::string& section,
                                     const std::vector<std::pair<std::string, std::string>>& keys);

void ConfigureDesktopProxy(const SetupSettings& settings, const std::string& lan,
                           ChangeJournal* journal, RunReport* report);

}  // namespace clientsetup
