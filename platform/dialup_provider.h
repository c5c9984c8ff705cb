// Which dial-up facility this machine offers: none, the simulated one (settings-driven, for
// tests and demonstrations) or pppd. Chosen by the remote-access key of the settings store and
// its Provider value. Any thread.
#pragma once

#include <string>

namespace platform {

enum class DialupProvider { kNone, kSimulated, kPppd };

// "System\CurrentControlSet\Services\RemoteAccess\Parameters" on the NT family,
// "...\RemoteAccess\NetworkProvider" on the 95 family (HKEY_LOCAL_MACHINE).
[[nodiscard]] std::string RemoteAccessKeyPath();
// kNone when the key is missing or its Provider names no facility we have.
[[nodiscard]] DialupProvider DetectDialupProvider();

}  // namespace platform
