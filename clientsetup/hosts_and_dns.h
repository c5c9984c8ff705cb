// Making the client find the gateway by name and use it for DNS: the hosts file entry and the
// gateway's address first among the TCP/IP name servers, by platform family. Run on the GUI
// thread on every configuration run.
#pragma once

#include <string>
#include <vector>

#include "clientsetup/desktop_change.h"
#include "clientsetup/setup_settings.h"

namespace clientsetup {

inline constexpr char kNameServerKey95[] = "System\\CurrentControlSet\\Services\\VxD\\MSTCP";
inline constexpr char kNameServerKeyNt[] = "System\\CurrentControlSet\\Services\\Tcpip\\Parameters";

// "\n<address>     <name>\n": an empty line, the address, five blanks, the name.
[[nodiscard]] std::string HostsEntry(const SetupSettings& settings);
// The hosts file with entry placed after the leading block of comment lines (lines holding
// "#") when the file begins with one, else at the very top; at the end when it never fits.
[[nodiscard]] std::string InsertHostsEntry(const std::vector<std::string>& lines,
                                           const std::string& entry);
// The gateway's IPv4 address: GatewayAddress when it is a dotted IPv4 address, else the one
// IPv4 address that name resolves to. "" when it resolves to none or to several; *why says so.
[[nodiscard]] std::string GatewayIpv4(const SetupSettings& settings, std::string* why);
// The hosts file with the entry for name at address: a line that already names the gateway
// becomes the entry (the name leaves any further line that holds it, and a line left without
// names goes); without such a line the entry is inserted as InsertHostsEntry does.
[[nodiscard]] std::string PlaceHostsEntry(const std::vector<std::string>& lines,
                                          const std::string& address, const std::string& name);
// Adds the gateway's entry to the platform's hosts file (creating it when missing), only with
// an address. The original is kept in journal when given; the outcome goes to report.
void AddHostsEntry(const SetupSettings& settings, ChangeJournal* journal = nullptr,
                   RunReport* report = nullptr);

// The new "NameServer" for old_value with the gateway first, keeping at most two old entries,
// joined with separator. *changed is false when old_value already starts with the gateway.
[[nodiscard]] std::string BuildNameServer(const std::string& old_value,
                                          const std::string& gateway_address, char separator,
                                          bool* changed);
// Puts the gateway first among the name servers of the platform's TCP/IP key in
// HKEY_LOCAL_MACHINE and sets "EnableDNS"; shows "DNS Setup failed" when the key cannot be
// opened, unless quiet_when_missing and the key does not exist. Returns 0, or the registry
// error code of the open.
long SetNameServers(const SetupSettings& settings, bool quiet_when_missing = false);

}  // namespace clientsetup
