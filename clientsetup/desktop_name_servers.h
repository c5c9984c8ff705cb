// The gateway first among the name servers this Linux machine really uses: through
// NetworkManager (nmcli) or systemd-resolved (resolvectl) when they manage the machine, else in
// /etc/resolv.conf, which is left whole when it is a link to a resolver's file. Used only by
// the GUI thread.
#pragma once

#include <string>
#include <vector>

#include "clientsetup/desktop_change.h"

namespace clientsetup {

// resolv.conf text with "nameserver <gateway>" first among at most three name servers, the
// others in their old order; the name servers stand where the first one stood.
[[nodiscard]] std::string ResolvConfWithGateway(const std::string& text,
                                                const std::string& gateway);
// The name servers listed in resolv.conf text, in order.
[[nodiscard]] std::vector<std::string> ResolvConfServers(const std::string& text);

// gateway is the gateway's IPv4 address.
void SetDesktopNameServers(const std::string& gateway, ChangeJournal* journal, RunReport* report);

}  // namespace clientsetup
