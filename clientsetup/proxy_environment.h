// The proxy for command-line tools: the proxy variables for the user's session
// (~/.config/environment.d) and, run as root, for everybody (/etc/environment), and APT's
// proxy (/etc/apt/apt.conf.d, root only). Used only by the GUI thread.
#pragma once

#include <string>
#include <vector>

#include "clientsetup/desktop_change.h"
#include "clientsetup/setup_settings.h"

namespace clientsetup {

inline constexpr char kEnvironmentDFile[] = "/.config/environment.d/60-wayfarer-proxy.conf";
inline constexpr char kAptProxyFile[] = "/etc/apt/apt.conf.d/80wayfarer-proxy";

// "http_proxy=http://<gateway>:80/" and the others, each with its line end.
[[nodiscard]] std::vector<std::string> ProxyVariableLines(const SetupSettings& settings,
                                                          const std::string& lan);
// old (an environment file of NAME=value lines) without its lines for the proxy variables,
// with lines appended.
[[nodiscard]] std::string MergeEnvironment(const std::string& old,
                                           const std::vector<std::string>& lines);
[[nodiscard]] std::string AptProxyText(const SetupSettings& settings);

// All three; the two system-wide ones only as root (noted, not failed, otherwise).
void ConfigureProxyEnvironment(const SetupSettings& settings, const std::string& lan,
                               ChangeJournal* journal, RunReport* report);

}  // namespace clientsetup
