// What the Services page does with an accepted dialog, as plain functions the page calls: a new
// mapping opened, listed and stored; a changed service re-opened where needed, taken into its
// entry and saved; a mapping deleted with the later subkeys renumbered. Console thread only
// (the one thread that changes the ServiceList); each keeps the listener, the list and the
// store in step.
#pragma once

#include <string>

#include "gateway/engine/service_dialogs.h"
#include "gateway/engine/service_entry.h"

namespace engine {

// The name a service's row shows: its mapping name, or its kind name.
[[nodiscard]] std::string ServiceRowName(const ServiceEntry& entry);
[[nodiscard]] bool IsBuiltInService(const ServiceEntry& entry);

// "New Mapping" after validation: opens the listener (an inactive mapping gets none; a port
// that cannot be taken is reported and the mapping stays, inactive), appends the entry, selects
// its listener and creates its subkey TotalServices. 0 with *added the entry as listed, or -1
// when the store could not take it.
[[nodiscard]] int AddMapping(const ServiceDialogInput& input, ServiceEntry* added);

// "Modify" of the listed service after validation: applies the change to its listener (the DNS
// socket for "DNS"), takes it into the entry and saves it. 0 with *now the entry as listed
// afterwards, or -1 when the service is no longer listed.
[[nodiscard]] int ModifyService(const ServiceEntry& listed, const ServiceDialogInput& input,
                                ServiceEntry* now);

// "Delete Mapping": a built-in service gets "Can't delete %s service" and stays (-1); a mapping
// is closed, unlinked and its later subkeys move down one (0).
[[nodiscard]] int DeleteService(const ServiceEntry& listed);

}  // namespace engine
