// wayfarer-reg run as root on a store that belongs to another user (the service's) takes on
// that user before it opens the store, so the files SQLite makes beside it (-wal, -shm) and
// the lock file stay the owner's. Single-threaded; called once before the store is opened.
#pragma once

#include <string>

namespace regtool {

// When this process is root and the store (or, when it does not exist yet, its directory)
// belongs to another user, switches to that user and group for good. True when the process
// may go on (nothing to do or switched); false with *error when the switch failed.
[[nodiscard]] bool BecomeStoreOwner(const std::string& store_path, std::string* error);

}  // namespace regtool
