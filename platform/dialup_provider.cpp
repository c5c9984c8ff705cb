// Reading the remote-access key to pick the dial-up facility.
#include "platform/dialup_provider.h"

#include "platform/os_info.h"
#include "platform/registry.h"

namespace platform {

std::string RemoteAccessKeyPath() {
  return std::string("System\\CurrentControlSet\\Services\\RemoteAccess\\") +
         (IsWin95Family() ? "NetworkProvider" : "Parameters");
}

DialupProvider DetectDialupProvider() {
  RegKey key;
  if (RegOpenKey(Hive::kLocalMachine, RemoteAccessKeyPath(), &key) != kErrorSuccess) {
    return DialupProvider::kNone;
  }
  std::string provider;
  if (RegQueryString(key, "Provider", &provider, 64) != kErrorSuccess) return DialupProvider::kNone;
  if (provider == "simulated") return DialupProvider::kSimulated;
  if (provider == "pppd") return DialupProvider::kPppd;
  return DialupProvider::kNone;
}

}  // namespace platform
