// The gateway's own loopback and own ports are not targets for its clients: the check every
// opening (WWW, SOCKS, Telnet, POP3, FTP) makes on the resolved target before it connects out.
// Any thread; the machine's addresses are read afresh on each call, the service list under its
// own lock.
#pragma once

#include <string>

namespace engine {

// True when a session of client_address must not connect to target_address:port. Both are
// dotted (or IPv6) text; the target is the resolved address, never a name.
//  - A target in 127/8, 0/8, ::, ::1, ::ffff:127/104 or on one of the gateway's own addresses
//    is refused for a client that is not on the gateway machine itself.
//  - Such a target on one of the gateway's own listening ports is refused for every client
//    (a request forwarded to the gateway itself would loop).
// An empty or unreadable target is not refused here (the opening reports it as before).
[[nodiscard]] bool TargetRefused(const std::string& client_address,
                                 const std::string& target_address, int port);

}  // namespace engine
