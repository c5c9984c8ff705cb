// Reload: re-reads the services, the security rules and AllowedClients from the store and
// applies what differs to the running engine, with the same steps the console's pages take (a
// changed port rebinds, a new mapping listens, a deleted one stops). Sessions in flight keep
// their sockets. Runs on the thread that applies the console's changes, one at a time with them.
#pragma once

#include <string>
#include <vector>

#include "gateway/engine/service_entry.h"

namespace engine {

struct ReloadCounts {
  int services_added = 0;
  int services_changed = 0;
  int services_deleted = 0;
  int rules_added = 0;
  int rules_removed = 0;
};

// One pairing of a listed entry with a stored one; either side may be missing (-1).
struct ServicePairing {
  int listed = -1;  // position in the listed entries
  int stored = -1;  // position in the stored entries
};

// Pairs listed and stored entries: a built-in service by its kind, a named mapping by its name,
// an unnamed one by kind and target. Each entry is used once; unpaired ones come last.
[[nodiscard]] std::vector<ServicePairing> PairServices(const std::vector<ServiceEntry>& listed,
                                                       const std::vector<ServiceEntry>& stored);

// True when the stored entry differs from the listed one in anything the store keeps.
[[nodiscard]] bool ServiceDiffers(const ServiceEntry& listed, const ServiceEntry& stored);

// The whole reload of the engine's own settings. The caller reloads the cache settings.
ReloadCounts ReloadEngineSettings();

// Tells the console, when one is attached, that reloaded settings (the cache's too) are in
// force: the page it shows is built anew when it shows any of them. Call after the reload.
void NoteSettingsReloaded();

// "services +a ~c -d, rules +r -r" for the log line.
[[nodiscard]] std::string DescribeReload(const ReloadCounts& counts);

}  // namespace engine
