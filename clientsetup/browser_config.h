// The browser configurators: Internet Explorer 3.x and 4.x, Navigator 3.x, Mosaic, PointCast
// and Communicator, each pointing its browser at the gateway's proxy ports by the gateway's
// name. Called by the configuration run on the GUI thread.
#pragma once

#include <string>

#include "clientsetup/setup_settings.h"

namespace clientsetup {

inline constexpr char kIeServicesKey[] = "Software\\Microsoft\\Internet Explorer\\Services";
inline constexpr char kIeSettingsKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
inline constexpr char kNavigatorProxyKey[] =
    "Software\\Netscape\\Netscape Navigator\\Proxy Information";
inline constexpr char kNavigatorServicesKey[] = "Software\\Netscape\\Netscape Navigator\\Services";

// The new "ProxyServer" for the gateway: its http and socks entries, then the "HTTPS" entry
// of old_value when it had one (token "HTTPS", exact case, and the token after it).
[[nodiscard]] std::string BuildProxyServer(const std::string& old_value,
                                           const std::string& gateway_name);

void ConfigureIE3(const SetupSettings& settings);
// The IE proxy step; also the whole Internet Explorer 4.x step.
void ConfigureIEProxy(const SetupSettings& settings);
void ConfigureNavigator3(const SetupSettings& settings);
// Rewrites Mosaic.ini in the Windows directory; nothing when it does not exist.
void ConfigureMosaic(const SetupSettings& settings);
// Rewrites the pcn.ini at ini_path (chosen by the user); nothing when it cannot be read.
void ConfigurePointCast(const SetupSettings& settings, const std::string& ini_path);
void ConfigureCommunicator(const SetupSettings& settings);

// The checks of the PointCast location dialog's OK for the chosen directory. Shows the
// dialog's messages; true with *ini_path set when the dialog may close.
[[nodiscard]] bool AcceptPointCastDirectory(const std::string& directory, std::string* ini_path);

}  // namespace clientsetup
