// Making the client find the gateway by name and use it for DNS: the hosts file entry and the
// gateway's address first among the TCP/IP name servers, by platform family. Run on the GUI
// thread on every configuration run.
#pragma once

#include <string>
#include <vector>

#include "clientsetup/setup_settings.h"

namespace clientsetup {

inline constexpr char kNameServerKey95[] = "System\\CurrentControlSet\\Services\\VxD\\MSTCP";
inline constexpr char kNameServerKeyNt[] =
    "System\\CurrentControlSet\\Services\\Tcpip\\Parameters";

// "\n<address>     <name>\n": an empty line, the address, five blanks, the name.
[[nodiscard]] std::string HostsEntry(const SetupSettings& settings);
// The hosts file with entry placed after the leading block of comment lines (lines holding
// "#") when the file begins with one, else at the very top; at the end when it never fits.
[[nodiscard]] std::string InsertHostsEntry(const std::vector<std::string>& lines,
                                           const std::string& entry);
// Adds the gateway's entry to the platform's hosts file (creating it when missing).
void AddHostsEntry(const SetupSettings& settings);

// The new "NameServer" for old_value with the gateway first, keeping at most two old entries,
// joined with separator. *changed is false when old_value already starts with the gateway.
[[nodiscard]] std::string BuildNameServer(const std::string& old_value,
                                          const std::string& gateway_address, char separator,
                                          bool* changed);
// Puts the gateway first among the name servers of the platform's TCP/IP key in
// HKEY_LOCAL_MACHINE and sets "EnableDNS"; shows "DNS Setup failed" when the key cannot be
// opened. Returns 0, or the registry error code of the open.
long SetNameServers(const SetupSettings& settings);

}  // namespace clientsetup
