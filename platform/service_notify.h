// Readiness and status reports to the service manager: one datagram per report to the socket
// named by $NOTIFY_SOCKET (a path, or "@name" for an abstract one). Without that variable
// nothing is sent. Any thread; each call opens and closes its own socket.
#pragma once

#include <string>

namespace platform {

// Sends text (e.g. "READY=1\nSTATUS=...") to the service manager. True when it was sent,
// false when there is no manager to tell or the send failed.
bool NotifyServiceManager(const std::string& text);

}  // namespace platform
